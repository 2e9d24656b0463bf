#pragma once

/** A control that shows the modulated value of its parameter. */
class ModulationListener
{
public:
    virtual ~ModulationListener() = default;
    /** The value after modulation, in the parameter's range; NaN when nothing is modulated.
        [audio or message thread] */
    virtual void setModulationValue (float modulatedValue) = 0;
};

/** Told which target row the user picked for modulation. */
class MySliderChangeListener
{
public:
    virtual ~MySliderChangeListener() = default;
    virtual void sliderIndexChanged (int targetIndex) = 0;
};

/** Told that a source was routed: 4 x ModType + source column. */
class MyModulationSelectChangeListener
{
public:
    virtual ~MyModulationSelectChangeListener() = default;
    virtual void modulationIndexChanged (int sourceIndex) = 0;
};
