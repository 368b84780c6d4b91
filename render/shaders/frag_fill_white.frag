#version 450
// White at the pushed opacity; drawn over the tiles in place of a video pipeline.
layout(push_constant) uniform P {
    float v_opacity;
};

layout(location = 0) out vec4 out_color;

void main() {
    out_color = vec4(1.0, 1.0, 1.0, v_opacity);
}
