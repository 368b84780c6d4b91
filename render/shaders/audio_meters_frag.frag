#version 450
// A level bar: the part above the level is the empty-column colour, the part below
// shows the red - yellow - green - dark green ramp fixed to the column (red on top).
layout(location = 0) in vec2 v_texcoord;

layout(push_constant) uniform P {
    layout(offset = 16) vec4 v_color;  // r = level, 0..1
};

layout(location = 0) out vec4 out_color;

const vec4 k_empty = vec4(23.0, 29.0, 35.0, 255.0) / 255.0;
const vec4 k_red = vec4(245.0, 82.0, 70.0, 255.0) / 255.0;
const vec4 k_yellow = vec4(232.0, 242.0, 70.0, 255.0) / 255.0;
const vec4 k_green = vec4(55.0, 224.0, 70.0, 255.0) / 255.0;
const vec4 k_dark_green = vec4(55.0, 140.0, 70.0, 255.0) / 255.0;

void main() {
    float level = v_color.r;
    float v = v_texcoord.y;
    if (v < 1.0 - level) {
        out_color = k_empty;
    } else if (v < 0.125) {
        out_color = mix(k_red, k_yellow, v / 0.125);
    } else if (v < 0.375) {
        out_color = mix(k_yellow, k_green, (v - 0.125) / 0.25);
    } else {
        out_color = mix(k_green, k_dark_green, (v - 0.375) / 0.625);
    }
}
