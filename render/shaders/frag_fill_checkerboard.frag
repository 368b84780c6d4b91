#version 450
#include "checkerboard.glsl"

layout(location = 0) out vec4 out_color;

void main() {
    out_color = checkerboard(gl_FragCoord.xy, vec4(1.0), vec4(0.7, 0.7, 0.7, 1.0));
}
