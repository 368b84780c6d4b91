#version 450
layout(push_constant) uniform P {
    vec4 v_color;
};

layout(location = 0) out vec4 out_color;

void main() {
    out_color = v_color;
}
