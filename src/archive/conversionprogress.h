#pragma once

// What a conversion tells the one waiting for it while it works, and how that one stops it.
class ConversionProgress {
public:
    virtual ~ConversionProgress() = default;
    // How far the conversion is, from 0 to 100; false asks it to stop. Called at least every
    // twentieth of a second while the file is read, and every few thousand rows after.
    virtual bool advance(int percent) = 0;
};
