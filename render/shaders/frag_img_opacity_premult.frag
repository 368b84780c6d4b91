#version 450
// A premultiplied image faded by the pushed opacity: every component scales.
layout(binding = 0) uniform sampler2D tex_image;

layout(push_constant) uniform P {
    float v_opacity;
};

layout(location = 0) in vec2 v_texcoord;
layout(location = 0) out vec4 out_color;

void main() {
    out_color = texture(tex_image, v_texcoord) * v_opacity;
}
