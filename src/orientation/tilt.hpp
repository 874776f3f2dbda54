#pragma once

namespace plimsy {

// Tilt of a board from a gravity (or accelerometer) vector, shared by the
// gravity display and the accelerometer/gyroscope fusion. Only the ratios
// of the components matter. The angle functions run in single precision
// and their results are widened, so the drawings match the board's maths.

// When the board goes upside down (z turns negative while both flags are
// still set), decide once which horizontal axis keeps its plain angle: the
// one about which the board did not turn over. Ties go to x. The choice
// holds until z is non-negative again, so the drawing does not flip back
// and forth while the board lies on its face.
void tilt_latch(float x, float y, float z, bool& positive_rax, bool& positive_ray);

// Rotation about the x axis, radians; reflected through the upside-down
// half when `positive_rax` is false so that the angle stays continuous.
double tilt_rax(float x, float y, float z, bool positive_rax);

// Rotation about the y axis, radians; reflected likewise.
double tilt_ray(float x, float y, float z, bool positive_ray);

// Angle between the vector and +z, radians.
double tilt_raz(float x, float y, float z);

}  // namespace plimsy
