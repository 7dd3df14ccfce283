#pragma once

#include <sndfile.h>

#include <memory>

// The owner of a libsndfile handle, for the reader that writes WAV files and the encoder
// that reads them.
struct SndfileCloser
{
    void operator()(SNDFILE *file) const noexcept { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;
