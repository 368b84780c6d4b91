#version 450
// Meter ticks, peak lines and empty columns: the pushed colour. The first 16 bytes of
// the push-constant block belong to the vertex stage's offset.
layout(push_constant) uniform P {
    layout(offset = 16) vec4 v_color;
};

layout(location = 0) out vec4 out_color;

void main() {
    out_color = v_color;
}
