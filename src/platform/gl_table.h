#pragma once
// The OpenGL 1.1 and GLU entry points the program calls, as one table of typed function
// pointers. Nothing links libGL: the program's table is filled by name from the libraries
// loaded at run time (gl_loader.h); tests fill it with recording functions.
//
// Threads: the table is filled and cleared on the UI thread, and the functions are called
// there, with the rendering context current.

#include <GL/gl.h>

namespace bandscope {

// X(return type, name, parameter list) for every entry point, by library.
#define BANDSCOPE_GL_ENTRY_POINTS(X)                                                            \
  X(void, glBegin, (GLenum mode))                                                               \
  X(void, glEnd, ())                                                                            \
  X(void, glVertex3f, (GLfloat x, GLfloat y, GLfloat z))                                        \
  X(void, glColor3f, (GLfloat red, GLfloat green, GLfloat blue))                                \
  X(void, glPushMatrix, ())                                                                     \
  X(void, glPopMatrix, ())                                                                      \
  X(void, glTranslatef, (GLfloat x, GLfloat y, GLfloat z))                                      \
  X(void, glRotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z))                          \
  X(void, glMatrixMode, (GLenum mode))                                                          \
  X(void, glLoadIdentity, ())                                                                   \
  X(void, glViewport, (GLint x, GLint y, GLsizei width, GLsizei height))                        \
  X(void, glClear, (GLbitfield mask))                                                           \
  X(void, glClearColor, (GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha))          \
  X(void, glEnable, (GLenum cap))                                                               \
  X(void, glDisable, (GLenum cap))                                                              \
  X(GLboolean, glIsEnabled, (GLenum cap))                                                       \
  X(void, glPushAttrib, (GLbitfield mask))                                                      \
  X(void, glPopAttrib, ())                                                                      \
  X(GLuint, glGenLists, (GLsizei range))                                                        \
  X(void, glNewList, (GLuint list, GLenum mode))                                                \
  X(void, glEndList, ())                                                                        \
  X(void, glListBase, (GLuint base))                                                            \
  X(void, glCallLists, (GLsizei n, GLenum type, const GLvoid* lists))                           \
  X(void, glRasterPos2f, (GLfloat x, GLfloat y))                                                \
  X(void, glBitmap,                                                                             \
    (GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove, GLfloat ymove, \
     const GLubyte* bitmap))                                                                    \
  X(void, glPixelStorei, (GLenum pname, GLint param))                                           \
  X(void, glReadPixels,                                                                         \
    (GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,               \
     GLvoid * pixels))                                                                          \
  X(void, glReadBuffer, (GLenum mode))                                                          \
  X(void, glFinish, ())                                                                         \
  X(GLenum, glGetError, ())                                                                     \
  X(const GLubyte*, glGetString, (GLenum name))                                                 \
  X(void, glGetIntegerv, (GLenum pname, GLint * params))                                        \
  X(void, glEnableClientState, (GLenum array))                                                  \
  X(void, glDisableClientState, (GLenum array))                                                 \
  X(void, glVertexPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* pointer))    \
  X(void, glColorPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid* pointer))     \
  X(void, glDrawArrays, (GLenum mode, GLint first, GLsizei count))

#define BANDSCOPE_GLU_ENTRY_POINTS(X) \
  X(void, gluPerspective, (GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar))

struct GlTable {
#define BANDSCOPE_GL_MEMBER(ret, name, params) ret(*name) params = nullptr;
  BANDSCOPE_GL_ENTRY_POINTS(BANDSCOPE_GL_MEMBER)
  BANDSCOPE_GLU_ENTRY_POINTS(BANDSCOPE_GL_MEMBER)
#undef BANDSCOPE_GL_MEMBER
};

}  // namespace bandscope
