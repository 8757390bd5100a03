#include "display/butterfly_spectrum.h"

#include "display/spectrum_plane.h"
#include "display/value_colour.h"

namespace bandscope {

void drawButterflySpectrum(const SceneInput& in) {
  const GlTable& gl = in.gl;
  const SpectrumState& st = in.spectrum;
  gl.glPushMatrix();
  gl.glTranslatef(4.0f, 2.1f, -5.0f);
  // One primitive for all bands: the same quads in fewer calls, here and in the driver.
  gl.glBegin(GL_QUADS);
  for (int k = 0; k < in.settings.bandCount; ++k) {
    // Frequency runs up the axis; channel 1 to the right, channel 0 to the left.
    const BandSpan span = bandSpan(in.bandX, k, 0);
    const float y0 = static_cast<float>(span.x0) / 256.0f;
    const float y1 = static_cast<float>(span.x1) / 256.0f;
    const float right = static_cast<float>(st.bandLevel[1][k]) / 256.0f;
    const float left = -static_cast<float>(st.bandLevel[0][k]) / 256.0f;
    setValueColour(in, (st.bandFast[0][k] + st.bandFast[1][k]) / 2);
    gl.glVertex3f(0.01f, y0, 0.0f);
    gl.glVertex3f(right, y0, 0.0f);
    gl.glVertex3f(right, y1, 0.0f);
    gl.glVertex3f(0.01f, y1, 0.0f);
    gl.glVertex3f(-0.01f, y0, 0.0f);
    gl.glVertex3f(left, y0, 0.0f);
    gl.glVertex3f(left, y1, 0.0f);
    gl.glVertex3f(-0.01f, y1, 0.0f);
  }
  gl.glEnd();
  gl.glPopMatrix();
}

}  // namespace bandscope
