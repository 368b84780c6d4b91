#version 450
#include "checkerboard.glsl"

layout(push_constant) uniform P {
    vec4 v_col1;
    vec4 v_col2;
};

layout(location = 0) out vec4 out_color;

void main() {
    out_color = checkerboard(gl_FragCoord.xy, v_col1, v_col2);
}
