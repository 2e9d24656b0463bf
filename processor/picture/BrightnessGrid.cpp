#include "BrightnessGrid.h"

#include <array>

namespace
{
/** level / 255 for every 8-bit level. */
const auto brightnessLevels = []
{
    std::array<float, 256> levels{};

    for (int i = 0; i < 256; ++i)
        levels[(size_t) i] = (float) i / 255.0f;

    return levels;
}();

float brightnessOf (juce::uint8 maxComponent) { return brightnessLevels[maxComponent]; }

/** The largest of three levels, without branches: picture content is too irregular to predict. */
juce::uint8 largestOf (juce::uint8 r, juce::uint8 g, juce::uint8 b)
{
    const unsigned rg = r ^ ((r ^ g) & -(unsigned) (r < g));
    return (juce::uint8) (rg ^ ((rg ^ b) & -(unsigned) (rg < b)));
}

template <typename ReadMaxComponent>
void writeGrid (const juce::Image::BitmapData& pixels,
                int width,
                int height,
                std::atomic<float>* grid,
                ReadMaxComponent readMaxComponent)
{
    // The picture is stored row by row but the grid column by column, 2 KiB apart: written
    // straight from the rows, every store would miss the cache. So the picture is read in tiles
    // of 16 rows by 64 columns, transposed in a small buffer, and each tile column goes to the
    // grid as 16 consecutive floats.
    constexpr int tileRows = 16, tileColumns = 64;
    float tile[tileColumns][tileRows];

    for (int top = 0; top < height; top += tileRows)
    {
        const int rows = juce::jmin (tileRows, height - top);

        for (int left = 0; left < width; left += tileColumns)
        {
            const int columns = juce::jmin (tileColumns, width - left);

            for (int row = 0; row < rows; ++row)
            {
                const auto* pixel = pixels.getPixelPointer (left, top + row);

                for (int column = 0; column < columns; ++column, pixel += pixels.pixelStride)
                    tile[column][row] = brightnessOf (readMaxComponent (pixel));
            }

            for (int column = 0; column < columns; ++column)
            {
                auto* cells = grid + (left + column) * brightnessGridSize + top;

                for (int row = 0; row < rows; ++row)
                    cells[row].store (tile[column][row], std::memory_order_relaxed);
            }
        }
    }
}
} // namespace

void writeBrightnessGrid (const juce::Image& picture, std::atomic<float>* grid)
{
    const juce::Image::BitmapData pixels (picture, juce::Image::BitmapData::readOnly);
    const int width = juce::jmin (pixels.width, brightnessGridSize);
    const int height = juce::jmin (pixels.height, brightnessGridSize);

    // Each format read exactly as getPixelAt reads it (ARGB unpremultiplied); alpha is ignored.
    switch (pixels.pixelFormat)
    {
        case juce::Image::ARGB:
            writeGrid (pixels,
                       width,
                       height,
                       grid,
                       [] (const juce::uint8* pixel)
                       {
                           const auto colour = reinterpret_cast<const juce::PixelARGB*> (pixel)->getUnpremultiplied();
                           return largestOf (colour.getRed(), colour.getGreen(), colour.getBlue());
                       });
            break;

        case juce::Image::RGB:
            writeGrid (pixels,
                       width,
                       height,
                       grid,
                       [] (const juce::uint8* pixel)
                       {
                           const auto* colour = reinterpret_cast<const juce::PixelRGB*> (pixel);
                           return largestOf (colour->getRed(), colour->getGreen(), colour->getBlue());
                       });
            break;

        case juce::Image::SingleChannel:
        case juce::Image::UnknownFormat:
        default:
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                {
                    const auto colour = pixels.getPixelColour (x, y);
                    const auto maxComponent = juce::jmax (colour.getRed(), colour.getGreen(), colour.getBlue());
                    grid[x * brightnessGridSize + y].store (brightnessOf (maxComponent), std::memory_order_relaxed);
                }
            break;
    }
}
