#pragma once

// Process-wide settings that must be in place before or right after the application object.
namespace ProgramSetup {

// Before the application object: the playback back end and similar environment choices.
void beforeApplication();

// The fonts the windows are drawn for, with substitutes where they are missing.
void applyFonts();

} // namespace ProgramSetup
