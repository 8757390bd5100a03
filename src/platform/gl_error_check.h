#pragma once
// The debug build's check of every GL call: withErrorChecks gives a table whose entries call
// the given ones and then ask glGetError, throwing AssertionFailure that names the call and
// the error. Between glBegin and glEnd, where glGetError is itself an error, the check waits
// for glEnd. The loader installs it only where BANDSCOPE_GL_ERROR_CHECK is set; elsewhere the
// table holds the library's own entry points.
//
// Threads: UI thread, like the table. One checked table at a time: the wrappers call the
// table given last.

#include <string>

#include "platform/gl_table.h"

namespace bandscope {

GlTable withErrorChecks(const GlTable& table);

// GL_INVALID_ENUM and the other errors of OpenGL 1.1 by name; others as a hex number.
std::string glErrorName(GLenum error);

}  // namespace bandscope
