#include "FrameworkReaderWorkarounds.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>

namespace
{
//============================================================================== juce::JSON::parse
/** Deeper than any presets file is nested (root, array, preset: 3). */
constexpr int maxPresetsNesting = 64;

/** Guards the JSON reader's recursion: it recurses once per nested array or object without a limit, so a file
    nested thousands deep would overflow the stack of whoever reads it. True when text nests arrays and objects no
    deeper than maxPresetsNesting, counted as the reader walks it: brackets inside strings (quoted with " or ', with
    backslash escapes) do not count. Anything the reader would refuse first does not matter, since it stops there. */
bool isNestedWithinLimit (const juce::String& text)
{
    int depth = 0;
    juce::juce_wchar quote = 0;

    for (auto p = text.getCharPointer(); !p.isEmpty();)
    {
        const auto c = p.getAndAdvance();

        if (quote != 0)
        {
            if (c == '\\')
            {
                if (p.isEmpty())
                    break;
                ++p;
            }
            else if (c == quote)
            {
                quote = 0;
            }
        }
        else if (c == '"' || c == '\'')
        {
            quote = c;
        }
        else if (c == '[' || c == '{')
        {
            if (++depth > maxPresetsNesting)
                return false;
        }
        else if (c == ']' || c == '}')
        {
            --depth;
        }
    }

    return true;
}

bool isDigit (char c) noexcept { return c >= '0' && c <= '9'; }

/** Roughly the power of ten of the unsigned literal in text[start, end): where its first significant digit stands,
    plus its exponent (saturated). Only its sign is used. */
long long decimalExponentOf (const std::string& text, size_t start, size_t end)
{
    long long position = 0;
    bool inFraction = false, significant = false;
    size_t i = start;

    for (; i < end && text[i] != 'e' && text[i] != 'E'; ++i)
    {
        if (text[i] == '.')
        {
            inFraction = true;
        }
        else if (text[i] != '0' || significant)
        {
            significant = true;
            position += inFraction ? 0 : 1;
        }
        else if (inFraction)
        {
            --position; // a zero between the point and the first significant digit
        }
    }

    long long exponent = 0;
    if (i < end)
    {
        const auto negative = i + 1 < end && text[i + 1] == '-';
        for (auto k = i + 1; k < end; ++k)
            if (isDigit (text[k]))
                exponent = std::min (exponent * 10 + (text[k] - '0'), (long long) 1 << 40);
        exponent = negative ? -exponent : exponent;
    }

    return position + exponent;
}

/** The number that the unsigned literal in text[start, end) denotes, written so that the framework's reader takes it
    exactly: the shortest text that reads back as the same double, ±infinity as 1e999. */
std::string canonicalNumberLiteral (const std::string& text, size_t start, size_t end)
{
    double value = 0.0;
    const auto [rest, error] = std::from_chars (text.data() + start, text.data() + end, value);
    juce::ignoreUnused (rest);

    if (error == std::errc::result_out_of_range)
        return decimalExponentOf (text, start, end) > 0 ? "1e999" : "0.0"; // too large for a double, or too near 0

    char buffer[64];
    const auto written = std::to_chars (buffer, buffer + sizeof (buffer), value, std::chars_format::scientific);
    return std::string (buffer, written.ptr);
}

/** Guards the JSON reader's numbers: text, with the number literals that it would mishandle rewritten first. The
    reader gathers a number's integer digits in a 64-bit integer without a bound, so 19 digits or more overflow it
    (undefined behaviour, in practice a wrapped value: 18446744073709551617 read as 1); a literal with a fraction or
    an exponent it hands to juce::CharacterFunctions::readDoubleValue, which gathers exponent digits in an int the
    same way. Such literals become the double they denote. After a '-' the reader gathers whatever character comes
    first as if it were a digit, so a '-' followed by anything but a digit is made a syntax error, which legal JSON
    never has. Strings are copied as they are. Returns text itself when nothing needs rewriting. */
juce::String withSafeNumberLiterals (const juce::String& text)
{
    const auto source = text.toStdString(); // UTF-8: every byte JSON gives a meaning to is ASCII
    const auto size = source.size();
    std::string result;
    size_t copiedUpTo = 0;
    bool rewritten = false;
    const auto replace = [&] (size_t from, size_t to, const std::string& with)
    {
        rewritten = true;
        result.append (source, copiedUpTo, from - copiedUpTo);
        result += with;
        copiedUpTo = to;
    };

    char quote = 0;
    size_t i = 0;

    while (i < size)
    {
        const auto c = source[i];

        if (quote != 0)
        {
            i += c == '\\' ? 2 : 1;
            if (c == quote)
                quote = 0;
            continue;
        }

        if (c == '"' || c == '\'')
        {
            quote = c;
            ++i;
            continue;
        }

        if (c == '-')
        {
            auto next = i + 1;
            while (next < size
                   && juce::CharacterFunctions::isWhitespace ((juce::juce_wchar) (juce::uint8) source[next]))
                ++next;

            if (next < size && !isDigit (source[next]))
            {
                // Past the whole (possibly multi-byte) character the reader would take as the first digit.
                auto afterCharacter = next + 1;
                while (afterCharacter < size && ((juce::uint8) source[afterCharacter] & 0xc0) == 0x80)
                    ++afterCharacter;

                replace (afterCharacter, afterCharacter, "x");
                i = afterCharacter;
                continue;
            }

            i = next;
            continue;
        }

        if (!isDigit (c))
        {
            ++i;
            continue;
        }

        // A number: integer digits, then an optional fraction and exponent, as the reader's decimal fallback reads it.
        auto end = i;
        while (end < size && isDigit (source[end]))
            ++end;
        const auto integerDigits = end - i;

        if (end < size && source[end] == '.')
            for (++end; end < size && isDigit (source[end]);)
                ++end;

        size_t significantExponentDigits = 0;
        if (end < size && (source[end] == 'e' || source[end] == 'E'))
        {
            auto digits = end + 1;
            if (digits < size && (source[digits] == '+' || source[digits] == '-'))
                ++digits;

            auto exponentEnd = digits;
            while (exponentEnd < size && isDigit (source[exponentEnd]))
                ++exponentEnd;

            if (exponentEnd > digits)
            {
                const auto firstNonZero = source.find_first_not_of ('0', digits);
                significantExponentDigits = firstNonZero < exponentEnd ? exponentEnd - firstNonZero : 0;
                end = exponentEnd;
            }
        }

        if (integerDigits >= 19 || significantExponentDigits > 3)
            replace (i, end, canonicalNumberLiteral (source, i, end));

        i = end;
    }

    if (!rewritten)
        return text;

    result.append (source, copiedUpTo, std::string::npos);
    return juce::String::fromUTF8 (result.data(), (int) result.size());
}

/** The value of the four hex digits at text[at], or -1 when they are not four hex digits. */
int hexQuad (const std::string& text, size_t at)
{
    if (at + 4 > text.size())
        return -1;

    int value = 0;
    for (size_t i = at; i < at + 4; ++i)
    {
        const auto digit = juce::CharacterFunctions::getHexDigitValue ((juce::juce_wchar) (juce::uint8) text[i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

/** Guards the JSON reader's escapes: text, with every escaped UTF-16 surrogate pair inside a string
    ("\ud83c\udfb9") replaced by the character it encodes. The framework's writer escapes a character beyond the
    16-bit range as such a pair, but its reader takes each half for a character of its own, so a preset name with
    one (an emoji) would not read back as written. Returns text itself when there is nothing to replace. */
juce::String withJoinedSurrogatePairs (const juce::String& text)
{
    // Most files have no escape at all; a quick look for a backslash keeps a large file's read from a second pass.
    const auto* escape = std::strchr (text.toRawUTF8(), '\\');
    while (escape != nullptr && !(escape[1] == 'u' && (escape[2] == 'd' || escape[2] == 'D')))
        escape = std::strchr (escape + 1, '\\');

    if (escape == nullptr)
        return text;

    const auto source = text.toStdString(); // UTF-8: every byte JSON gives a meaning to is ASCII
    const auto size = source.size();
    std::string result;
    size_t copiedUpTo = 0;
    bool rewritten = false;
    char quote = 0;

    for (size_t i = 0; i < size;)
    {
        const auto c = source[i];

        if (quote == 0)
        {
            if (c == '"' || c == '\'')
                quote = c;
            ++i;
            continue;
        }

        if (c == quote)
        {
            quote = 0;
            ++i;
            continue;
        }

        if (c != '\\')
        {
            ++i;
            continue;
        }

        const auto high = i + 1 < size && source[i + 1] == 'u' ? hexQuad (source, i + 2) : -1;
        const auto low =
            high >= 0xd800 && high <= 0xdbff && i + 7 < size && source[i + 6] == '\\' && source[i + 7] == 'u'
                ? hexQuad (source, i + 8)
                : -1;

        if (low < 0xdc00 || low > 0xdfff)
        {
            i += 2; // any other escape, kept as it is
            continue;
        }

        const auto codePoint = 0x10000 + ((high - 0xd800) << 10) + (low - 0xdc00);
        result.append (source, copiedUpTo, i - copiedUpTo);
        result += (char) (0xf0 | (codePoint >> 18));
        result += (char) (0x80 | ((codePoint >> 12) & 0x3f));
        result += (char) (0x80 | ((codePoint >> 6) & 0x3f));
        result += (char) (0x80 | (codePoint & 0x3f));
        i += 12;
        copiedUpTo = i;
        rewritten = true;
    }

    if (!rewritten)
        return text;

    result.append (source, copiedUpTo, std::string::npos);
    return juce::String::fromUTF8 (result.data(), (int) result.size());
}

//============================================================================== juce::XmlDocument
/** More than any state needs: its XML nests the parameters one level below the root. */
constexpr int maxStateNesting = 256;

/** Guards the XML reader's endless loop. True when a processing instruction ("<?...?>") is followed, past the
    whitespace, comments and instructions that the reader skips with it, by anything but a tag or the end. Inside an
    element the reader loops for ever on such text: it skips the instruction looking for a tag, finds text, steps
    back to read that text from before the instruction, and meets the instruction again. A state holds one
    instruction, its declaration, before its root. */
bool hasInstructionBeforeText (const juce::String& text)
{
    const auto startsWith = [] (juce::CharPointer_UTF8 p, const char* prefix)
    {
        return juce::CharacterFunctions::compareUpTo (p, juce::CharPointer_ASCII (prefix), (int) std::strlen (prefix))
               == 0;
    };

    for (auto p = text.getCharPointer(); !p.isEmpty();)
    {
        if (!startsWith (p, "<?"))
        {
            ++p;
            continue;
        }

        for (;;)
        {
            const bool instruction = startsWith (p, "<?");
            if (!instruction && !startsWith (p, "<!--"))
                break;

            const auto* closing = instruction ? "?>" : "-->";
            p += instruction ? 2 : 4;

            const auto end = p.indexOf (juce::CharPointer_ASCII (closing));
            if (end < 0)
                return false; // the reader stops at an unclosed one, and so does every later one

            p += end + (int) std::strlen (closing);
            p.incrementToEndOfWhitespace();
        }

        if (!p.isEmpty() && *p != '<')
            return true;
    }

    return false;
}

/** Guards the XML reader's character references. True when it would read on past the end of text: it steps over
    whatever ends the hex digits (at most eight) of a character reference "&#x", and so over the end of the text when
    they run into it. */
bool endsInHexReference (const juce::String& text)
{
    auto p = text.getCharPointer().findTerminatingNull();
    const auto start = text.getCharPointer();

    for (int digits = 0; digits <= 8 && p != start; ++digits)
    {
        --p;
        if (juce::CharacterFunctions::getHexDigitValue (*p) < 0)
            return (*p == 'x' || *p == 'X') && p != start && *--p == '#' && p != start && *--p == '&';
    }

    return false;
}
} // namespace

namespace framework_readers
{
juce::var safeJsonParse (const juce::String& text)
{
    if (!isNestedWithinLimit (text))
        return {};

    return juce::JSON::parse (withJoinedSurrogatePairs (withSafeNumberLiterals (text)));
}

/* Guards the XML reader's UTF-8 and its recursion, and gathers the other XML guards. The reader steps over a UTF-8
   sequence by its first byte without looking at the rest, so a broken sequence can carry it past the end of the text:
   the text must be valid UTF-8. And it recurses once per element that has children, without a limit, so text nested
   some ten thousand deep overflows the stack of the host's thread. Each nesting level takes one '>' that does not end
   "/>", so counting those bounds the depth, whatever else the text holds; the text is decoded as the reader decodes
   it (an over-long UTF-8 sequence can stand for '>'). Nor may it hold text after a processing instruction
   (hasInstructionBeforeText), end in a cut character reference (endsInHexReference) or declare a document type. */
bool isSafeXmlState (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 8)
        return true; // the reader takes nothing from these

    const auto length = (int) juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4));
    if (length <= 0)
        return true;

    const auto* bytes = static_cast<const char*> (data) + 8;
    const auto numBytes = juce::jmin (sizeInBytes - 8, length);

    if (!juce::CharPointer_UTF8::isValidString (bytes, numBytes))
        return false;

    const auto text = juce::String::fromUTF8 (bytes, numBytes);

    // A document type makes the reader expand entities into text that it reads again, past its end too.
    if (hasInstructionBeforeText (text) || endsInHexReference (text) || text.contains ("<!DOCTYPE"))
        return false;

    int levels = 0;
    juce::juce_wchar previous = 0;

    for (auto p = text.getCharPointer(); !p.isEmpty();)
    {
        const auto c = p.getAndAdvance();

        if (c == '>' && previous != '/' && ++levels > maxStateNesting)
            return false;

        previous = c;
    }

    return true;
}

/* Guards the number reader's exponents, as a state's values meet it: it gathers an exponent's digits in an int
   without a bound, so ten or more overflow it (undefined behaviour; in practice a wrapped exponent, with
   "4.2e-4294967295" read as 42). */
std::optional<juce::String> withSafeExponents (const juce::String& text)
{
    const auto isDigit = [] (juce::juce_wchar c) { return c >= '0' && c <= '9'; };
    juce::String result;
    auto copiedUpTo = text.getCharPointer();
    bool rewritten = false;

    for (auto p = text.getCharPointer(); !p.isEmpty();)
    {
        const auto c = p.getAndAdvance();
        if (c != 'e' && c != 'E')
            continue;

        auto digits = p;
        if (*digits == '+' || *digits == '-')
            ++digits;

        auto end = digits;
        int significant = 0;
        while (isDigit (*end))
            significant += (end.getAndAdvance() != '0' || significant > 0) ? 1 : 0;

        if (significant >= 10)
        {
            result += juce::String (copiedUpTo, digits);
            result += "999999999";
            copiedUpTo = end;
            rewritten = true;
        }

        p = end;
    }

    if (!rewritten)
        return std::nullopt;

    return result + juce::String (copiedUpTo);
}
} // namespace framework_readers
