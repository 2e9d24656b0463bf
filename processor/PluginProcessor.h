#pragma once

#include "ParameterModel.h"
#include "processor/modulation/MatrixCellWatch.h"
#include "processor/modulation/ModulationListeners.h"
#include "processor/modulation/PublishedRoutes.h"
#include "processor/picture/OfflinePassSchedule.h"
#include "processor/picture/PreparedPicture.h"
#include "processor/picture/WavetableRefill.h"
#include "processor/sound/Downsampler.h"
#include "processor/sound/Filter.h"
#include "processor/sound/OutputLowPass.h"
#include "processor/sound/Synth.h"
#include "processor/state/PictureCopies.h"
#include "processor/state/PresetsFile.h"
#include "threads/LockFree.h"
#include "threads/MessageThreadJobs.h"

#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <optional>

/** A host note-on (on) or note-off as the editor's keyboard shows it. */
struct HostNote
{
    juce::uint8 note = 0;
    bool on = false;
};

/** Running state of one of the processor's four LFOs. */
struct LfoState
{
    float phase = 0.0f;
    float rate = 1.0f;
    float increment = 0.0f;
    float heldValue = 0.0f;
    int shape = 0;
    double sampleRate = 44100.0;
};

/** Running state of one modulation envelope; the stage is encoded by target. */
struct EnvelopeState
{
    float attackCoefficient = 0.99f;
    float decayCoefficient = 0.95f;
    float sustainLevel = 0.7f;
    float releaseCoefficient = 0.9f;
    float level = 0.0f;
    float target = 0.0f;
    float coefficient = 0.0f;
};

/** The plug-in: the host's processor, the adapter between the host, the editor and the classes that do the work.
    Its functions name their thread in brackets; threads/README.md maps the threads, what carries what between
    them and the order in which its locks are taken. */
class OstrelAudioProcessor : public juce::AudioProcessor,
                             public juce::AudioProcessorValueTreeState::Listener,
                             public juce::Thread,
                             public IProcessor
{
public:
    static constexpr int gridSize = 512;
    static constexpr int wavetableSize = 512;
    static constexpr int numVoices = 8;
    static constexpr int scopeSize = 1024;
    static constexpr int fftSize = 1024;

    /** One MIDI-source route of a target: the record of midiModulations and of the published routes. */
    using MidiModulation = ::MidiModulation;

    /** What Save or Delete of the presets bar did to the presets file. */
    using PresetsFileResult = ::PresetsFileResult;

    /** The state's record of the picture: a child of this type in the parameter tree, whose "path" names the picture
        and whose "copy" names its copy in the documents folder: "" when none was made, absent in states saved before
        copies were named by their content. */
    static inline const juce::Identifier imagePathType{ "ImagePath" };
    static inline const juce::Identifier imagePathProperty{ "path" };
    static inline const juce::Identifier pictureCopyProperty{ "copy" };

    OstrelAudioProcessor();
    ~OstrelAudioProcessor() override;

    //==============================================================================
    const juce::String getName() const override;
    /** Sizes everything the blocks use and tells the host the output latency before it returns. [the thread the
        host prepares on, not necessarily the message thread; never while a block runs] */
    void prepareToPlay (double sampleRate, int samplesPerBlock) override;
    void releaseResources() override;
    using juce::AudioProcessor::processBlock;
    /** One host block. Real-time blocks never wait or allocate; while the host renders offline (isNonRealtime())
        a block may also make the picture's transform pass, under the picture lock. [audio thread] */
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;
    /** [the host's thread, never while a block runs] */
    void reset() override;
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;
    int getNumPrograms() override;
    int getCurrentProgram() override;
    /** [message thread or the host's thread] */
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;
    /** [message thread or the host's saving thread] */
    void getStateInformation (juce::MemoryBlock& destData) override;
    /** [message thread or the host's restoring thread] */
    void setStateInformation (const void* data, int sizeInBytes) override;
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    //==============================================================================
    /** The image thread: redraws the transformed picture about thirty times a second of wall-clock time, except
        while the host renders offline, when the blocks make the passes. [image thread] */
    void run() override;
    void updateMidiNumber (bool noteOn) override;
    void handleFilterFreqModulation (float normalisedCutoff) override;
    void midiControllerModulation (int source, float value) override;
    void parameterChanged (const juce::String& parameterID, float newValue) override;
    void handleWavetableSampleSelection (int index) override;

    //============================================================================== picture pipeline
    /** Decodes a picture file and makes it the source of the grid; a file that does not decode leaves no picture.
        The live state names a picture that decoded. [message thread: the framework's timer writes the same tree
        there] */
    void loadFile (const juce::String& path, bool flag);
    /** Loads a picture the user dropped, only if it decodes: then onceDecoded runs (with no lock held) and the
        picture becomes the source of the grid as with loadFile, and the result is true. A file that does not decode
        changes nothing (picture, path, grid, wavetables and state stay as they were) and the result is false.
        [message thread] */
    bool loadDroppedPicture (const juce::String& path, const std::function<void()>& onceDecoded = {});
    /** One transform pass into transformedImage and imageGrid; takes the picture lock. [image thread, or the audio
        thread while the host renders offline] */
    void updateImageManupulations();
    /** The current picture's path. [any thread but the audio thread] */
    juce::String getImagePath() const;

    //============================================================================== routing and listeners
    /** Books the new value of one matrix cell. [message thread] */
    void modulationMatrixRowCheckValues (ModType type, int row, int column, float value);
    /** Tells the slider-change listeners that paramID was picked for modulation. [message thread] */
    void setParameterForModulation (juce::String paramID);
    void addSliderChangeListener (MySliderChangeListener* listener);
    void removeSliderChangeListener (MySliderChangeListener* listener);
    void addModulationChangeListener (MyModulationSelectChangeListener* listener);
    void removeModulationChangeListener (MyModulationSelectChangeListener* listener);
    /** Enters the control that shows paramID's modulation (replacing any other). [message thread] */
    void addModulationListener (const juce::String& paramID, ModulationListener* listener);
    /** Removes paramID's entry if it is listener; returns only once no audio-thread call is in flight.
        [message thread] */
    void removeModulationListener (const juce::String& paramID, ModulationListener* listener);
    /** Makes the route tables follow the matrix parameters exactly: books every non-zero cell and clears every
        route, flag and modulated target whose cells are now zero. [message or restoring thread] */
    void rebookModulationMatrices();
    /** Tells the control entered for every modulation target that there is nothing to show (NaN), as
        setModulationValue does for one; the controls show values again once the blocks tell them. Takes
        modulationListenersLock, so it never meets a change of the listener table. [message thread] */
    void clearEveryModulationDisplay();

    //============================================================================== notes
    /** Queues a host note-on or note-off (velocity 0 counting as off, any channel) for the editor's keyboard;
        every other message is ignored. Never waits or allocates. [audio thread] */
    void pushHostNote (const juce::MidiMessage& message) noexcept;

    //============================================================================== programs
    /** <documents>/"Ostrel"/fileName; forms the path only. */
    juce::String getFilePath (juce::String fileName) const;
    /** A program holding the current raw value of every record and the current picture path. [message thread] */
    OstrelProgram makeProgramFromCurrentSettings (const juce::String& name);
    /** Save of the presets bar: replaces every program of that name (or appends one) and writes it into the
        presets file. The result is false when the file could not be rewritten (the old file then stays). A presets
        file that could not be read is first moved to a backup beside it, named
        "OstrelPresets.unreadable-<yyyymmdd-hhmmss>.json" (with "-2", "-3", ... before ".json" when that exists):
        the result names it, for the presets bar to tell the user. [message thread] */
    PresetsFileResult savePreset (const OstrelProgram& program);
    /** Delete of the presets bar: erases entry programIndex of programs and the one preset of the presets file
        behind it. Programs are read from the file's presets in order, so when several share a name (a file edited
        by hand or merged), the n-th program of that name is the n-th preset of that name; the others stay. The
        result is false when nothing was erased or the file could not be rewritten; an unreadable presets file is
        backed up as by savePreset. [message thread] */
    PresetsFileResult deletePreset (int programIndex);
    /** value limited to the parameter's range; NaN gives its default. Unknown IDs give value. */
    float sanitisedParameterValue (const juce::String& paramID, double value) const;
    /** The XML a state holds, read only when it is safe to read, with every known parameter's value finite and in
        its range: what setStateInformation restores when its tag is the state's. Null when there is none. Reads
        nothing of the tree, so it needs no lock. [any thread but the audio thread] */
    std::unique_ptr<juce::XmlElement> readCheckedState (const void* data, int sizeInBytes) const;

    //============================================================================== latency
    /** Host samples by which the output lags the voices at oversampling stage 1, 2 or 3 (x2, x4, x8): the delay of
        the down-sampling path and the output low-pass. The up-sampling path adds none, since the voices overwrite
        its output. */
    static int outputLatencyForStage (int stage) noexcept;
    /** The oversampling stage (1..3) that "OverSample" chooses now. [any thread] */
    int currentOversamplingStage() const noexcept;

    //==============================================================================
    /** Holds the message thread from the end of the destructor until the members below are gone (see there). */
    std::unique_ptr<juce::MessageManagerLock> teardownLock;
    /** Before the tree, which is built with its address: the tree's timer writes through it from the moment the tree
        exists (on the message thread, while a host may still be constructing this on another) until the tree is
        gone. */
    juce::UndoManager undoManager;
    juce::AudioProcessorValueTreeState valueTreeState;

    juce::StringArray lfoWaveNames;
    juce::StringArray noteLengthNames;
    ParameterGroup affineConfigs;
    ParameterGroup lfoTemplateConfigs;
    juce::StringArray envSourceNames;
    juce::StringArray lfoSourceNames;
    juce::StringArray midiSourceNames;
    std::vector<ParameterConfig*> modulationTargets;
    std::vector<ParameterGroup*> allConfigs;
    juce::StringArray modulationTargetIds;

    float spectrumFftData[2 * fftSize]{};
    std::atomic<bool> spectrumBlockReady{ false };
    float spectrumFifo[fftSize]{};
    int spectrumFifoIndex = 0;
    int heldNoteCount = 0;
    juce::CriticalSection keyboardMidiLock;
    std::function<void (const juce::MidiMessage&)> incomingMidiCallback;
    /** Host notes on their way to the editor's keyboard: pushHostNote adds them on the audio thread, the editor's
        timer takes them on the message thread. Room for far more notes than arrive between two of its ticks; when
        it is full a key light is lost, never a note. */
    LockFreeFifo<HostNote, 512> hostNotes;
    juce::File presetsFile;
    float midiSourceValues[4]{};
    std::vector<std::vector<MidiModulation>> midiModulations; // message thread's tables
    juce::dsp::IIR::Filter<float> outputFilter[2];            // the coefficients of the output low-pass
    double outputFilterRate = 0.0;
    float outputFilterCutoff = 0.0f;
    ModalFilter modalFilter;
    juce::String presetsFolderName;
    std::vector<std::array<bool, numModulationSources>> lfoSourcesInUse;
    std::vector<std::array<bool, numModulationSources>> envSourcesInUse;
    std::vector<std::array<bool, numModulationSources>> midiSourcesInUse;
    std::atomic<bool> imageUpdateWanted{ false };
    juce::MidiBuffer keyboardMidiBuffer;
    juce::AudioBuffer<float> scopeRing;
    DisplayFeed<scopeSize> scopeBuffer;
    int scopeRingIndex = 0;
    std::list<juce::String> modulatedTargetIds;
    // Locked lists: they are used on the message thread and, during a state restore, on the host's thread.
    juce::ListenerList<MySliderChangeListener, juce::Array<MySliderChangeListener*, juce::CriticalSection>>
        sliderChangeListeners;
    juce::ListenerList<MyModulationSelectChangeListener,
                       juce::Array<MyModulationSelectChangeListener*, juce::CriticalSection>>
        modulationChangeListeners;
    LfoState lfoStates[numLfos];
    EnvelopeState modEnvelopeStates[numModEnvelopes];
    Synth synth;
    /** The framework's oversamplers for x1, x2, x4 and x8, built and prepared as the processor's design gives them
        but never run: the downsamplers below do their down path, bit for bit (a test holds them to this class),
        without the up path's wasted work. They stay because building and preparing them is part of the
        processor's set-up as designed; running them would only cost time. */
    std::array<std::unique_ptr<juce::dsp::Oversampling<float>>, 4> oversamplers;
    /** The down path of oversamplers 1..3 (entry 0 unused): the voices render straight into the work buffer, so
        the up path, which would only filter silence that is then overwritten, is never run. */
    std::array<std::unique_ptr<Downsampler>, 4> downsamplers;
    float hostSampleRate = 44100.0f;
    int oversamplingOrder = 2;
    juce::AudioBuffer<float> oversampledBuffer;
    juce::Image transformWorkImage, loadedImage, scaledImage;
    juce::String imagePath;
    juce::Image transformedImage;
    std::atomic<float> imageGrid[gridSize * gridSize];
    juce::AudioBuffer<float> wavetableBuffers[numVoices];
    /** Held while the voices render from wavetableBuffers and while loadFile clears them. One per processor, unlike
        the refill's global lock, so that instances never wait for each other's rendering. [audio, message thread] */
    juce::SpinLock wavetableRenderLock;
    DisplayFeed<wavetableSize> waveDisplayBuffer;
    std::unordered_map<juce::String, ModulationListener*> modulationListeners;
    std::vector<OstrelProgram> programs;
    /** Guards programs between the host's program calls and the presets bar. */
    juce::CriticalSection programsLock;
    /** Reads the presets file into programs and writes Save's and Delete's changes into it, in model order; set
        once the model is built. [any thread but the audio thread] */
    PresetsFile presetsFileFormat;

    /** The routing tables as the audio thread sees them; published by the message thread. */
    PublishedRoutes publishedRoutes;
    /** modulationListeners by target row, for the audio thread; guarded by modulationListenersLock. */
    ModulationListener* listenerForTarget[numModulationTargets]{};
    /** The audio thread only try-locks this and, while holding it, tells controls only when
        publishedRoutes.hasFresh() is false: a newer routing may have sent a target's control the NaN that a value
        computed from an older routing must not overwrite. */
    juce::SpinLock modulationListenersLock;
    /** Guards midiModulations, modulatedTargetIds, the three *SourcesInUse tables and the writer side of
        publishedRoutes; readers off the audio thread (the grids) take it too. Never taken by the audio thread. */
    juce::CriticalSection routingLock;
    /** Serialises the work on valueTreeState.state of loadFile, getStateInformation, setStateInformation and
        setCurrentProgram, which the message thread and the host's threads call at will (a restore swaps the whole
        tree). Taken before spinCriticalSection and routingLock; never taken by the audio thread. */
    juce::CriticalSection stateLock;
    /** Jobs that other threads hand to the message thread (telling the host the latency). */
    MessageThreadJobs messageThreadJobs;

private:
    //============================================================================== parameter model
    void buildProcessorParameterLists();
    void completeParameterModel();
    void fillNoteLengthBeats();

    //============================================================================== routing
    /** Books a matrix cell that changed, with its parameter's current value, unless the tables already hold that
        value. [message thread] */
    void bookChangedMatrixCell (ModType type, int row, int column, float value);
    /** True when the tables already hold value for cell (row, column): its flag, and for a MIDI cell its route.
        [message thread] */
    bool tablesHoldCell (ModType type, int row, int column, float value);
    /** Starts and stops booking the cells whose parameters change. */
    void followMatrixParameters();
    void stopFollowingMatrixParameters();

    /** The matrix cells that changed since the message thread last booked them. */
    MatrixCellWatch matrixCellWatch{ valueTreeState, messageThreadJobs };

    //============================================================================== programs
    void readProgramsFromPresetsFile();

    //============================================================================== block processing
    /** The block's modulated values: MIDI routes, processor LFOs and envelopes, LFO and envelope routes.
        [audio thread] */
    void updateModulatedValues (int numSamples);
    /** Makes the transform pass for a block rendered offline, once its modulated values are known and before the
        tables are refilled, when offlinePassSchedule says one is due (timelineSample: the block's start on the
        host's running timeline). [audio thread, offline blocks only] */
    void transformPictureForOfflineBlock (int numSamples, std::optional<juce::int64> timelineSample);
    /** The targets without LFO or envelope routes: their raw value, plus their MIDI routes. [audio thread] */
    void applyMidiRoutes (const ModulationRoutes& routes, const bool* hasLfoOrEnvelopeRoute, bool mayTellListeners);
    /** Moves each processor LFO on by the block; lfoOut[i] is its value times its amount. [audio thread] */
    void advanceModulationLfos (int numSamples, float* lfoOut);
    /** Moves each modulation envelope on by the block, in one step; envOut[i] is its level. [audio thread] */
    void advanceModulationEnvelopes (int numSamples, float* envOut);
    /** The targets with LFO or envelope routes: their raw value, plus every route's share. [audio thread] */
    void applyLfoAndEnvelopeRoutes (const ModulationRoutes& routes,
                                    const float* lfoOut,
                                    const float* envOut,
                                    bool mayTellListeners);
    /** The sum of row's MIDI routes in config's units (NaN from a NaN source value or amount). [audio thread] */
    float midiRouteSum (const ModulationRoutes& routes, int row, const ParameterConfig& config) const;
    /** Tells row's control its modulated value, when mayTell. [audio thread] */
    void tellModulationListener (bool mayTell, int row, float value);
    /** Refills all eight wavetables, as block processing does every block. [audio thread] */
    void refillWavetables();
    /** Where the wavetables are read now, and how fast they follow: the interval settings as the block sees them.
        [audio thread] */
    WavetableRefill::Scan currentScan() const noexcept;
    /** Reads the eight wavetableBuffers out of imageGrid; spinCriticalSectionLoadWaveBuffer is held around it. */
    WavetableRefill wavetableRefill{ imageGrid, wavetableBuffers };

    /** Points voice index's "HiFidel" read geometry at the line or circle its wavetable is read along.
        [audio thread] */
    void updateScanGeometry (int voiceIndex) noexcept;
    /** Up-samples, renders between the events, filters and down-samples one piece of the block. [audio thread] */
    void renderPiece (juce::AudioBuffer<float>& buffer,
                      juce::MidiBufferIterator& nextEvent,
                      juce::MidiBufferIterator endEvent,
                      int pieceStart,
                      int pieceLength,
                      bool lastPiece);
    /** Feeds the oscilloscope and the spectrum from the finished block, before the master gain. [audio thread] */
    void updateDisplayFeeds (const juce::AudioBuffer<float>& buffer) noexcept;

    //============================================================================== notes and controllers
    /** Acts on one MIDI message of at most three bytes. [audio thread] */
    void handleMidiEvent (const juce::uint8* data, int numBytes);
    /** Acts on the message only if it releases voices: a note-off, the sustain pedal, controllers 120..127.
        [audio thread] */
    void handleReleaseEvent (const juce::uint8* data, int numBytes);
    /** Note-on with velocity 1..127: voice choice, mono legato, envelopes. [audio thread] */
    void startNote (int note, int velocity);
    void handleNoteOff (int note);
    void handleController (int number, int value);

    /** The output low-pass's state per channel; it designs outputFilter for the current rate. */
    OutputLowPass outputLowPass{ outputFilter, outputFilterRate, outputFilterCutoff };

    /** Host block size given to prepareToPlay; longer blocks are rendered in pieces of at most this. */
    int preparedBlockSize = 0;

    /** When the audio thread makes the offline transform passes (prepareToPlay starts them afresh). */
    OfflinePassSchedule offlinePassSchedule;

    /** Row of "Freq" among the modulation targets, fixed once the model is built. */
    int freqTargetRow = -1;

    /** Number of values a preset holds: every record of allConfigs. */
    int numPresetValues = 0;

    //============================================================================== picture pipeline
    /** Makes picture the current one as loadFile does (a null one leaves no picture and keeps the grid and the
        tables); with clearGrid the grid is zeroed together with the swap, so that no transform pass can refill it
        from the picture replaced. With recordInLiveState a picture that decoded is named in the live state, which
        only the message thread may write (see recordPicture). */
    void swapInPicture (PreparedPicture picture, bool clearGrid, bool recordInLiveState);
    /** Names path in state as the picture in use, its copy in the documents folder still to be made. Off the
        message thread only a tree that is then swapped in whole (replaceState, under the framework's lock) may be
        written: the framework's timer writes parameter values into the live tree on the message thread. */
    static void recordPicture (juce::ValueTree& state, const juce::String& path);
    /** Drops the transformed picture and the path, and zeroes the grid, in one step. */
    void dropPicture();
    /** The transform pass itself; spinCriticalSection is held. [image thread, audio thread offline] */
    void transformPictureLocked();
    /** Counts the pictures swapped in or dropped, under the picture lock, so that an offline block sees that its
        grid is due a pass. [any thread but the audio thread writes; audio thread reads] */
    std::atomic<std::uint32_t> pictureSwaps{ 0 };

    //============================================================================== state
    /** The file name of the documents-folder copy of the picture that a state naming storedPath should record:
        the copy made (or found) for the picture in use when storedPath names it, empty when none can be made, and
        nothing when storedPath names another picture (the state's record then stays as it is). Called with stateLock
        held, which it lets go while it encodes and writes a copy. */
    std::optional<juce::String> pictureCopyNameFor (const juce::String& storedPath);

    /** The copies of the pictures that states name, with the one made for the last load; stateLock guards it. */
    PictureCopies pictureCopies;
    juce::uint64 pictureLoads = 0; // successful loads; written under stateLock and spinCriticalSection

    //============================================================================== latency
    /** Tells the host the output latency of the current oversampling stage, at once. [the thread the host prepares
        on, message thread] */
    void reportOutputLatency();
    /** The framework's latency field is a plain int, written here by a prepare on the host's thread and by the
        message thread's job: one writer at a time. */
    juce::CriticalSection latencyLock;
    /** Reports the latency from the message thread after "OverSample" changed (perhaps on the audio thread). */
    int latencyJob = -1;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OstrelAudioProcessor)
};
