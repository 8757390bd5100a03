#pragma once
// The settings file's text, read and written by our own code for exactly the keys we keep,
// in the INI shape earlier versions wrote through QSettings, so their files stay readable:
// top-level keys (also under [General]), [checks] name=true|false, [window] position=@Point(x
// y), size=@Size(w h) and state=normal|maximized|fullscreen. Nothing is deserialised: a value that
// is not plain text (any other
// "@..." value, a list) makes the file doubtful. Numbers are checked as written before they
// are narrowed. Pure functions; any thread.

#include <string>
#include <string_view>

#include "app/window/saved_settings.h"
#include "failure/failure.h"

namespace bandscope {

// Reads `text` into values, leaving keys it lacks as they are. Fails saying why the text is
// doubtful (values are then partly set: the caller drops them).
Result<void> parseSettings(std::string_view text, SavedSettings& values);

// The file's text for values; parseSettings reads it back as they are.
std::string formatSettings(const SavedSettings& values);

}  // namespace bandscope
