#version 450
// A straight-alpha image faded by the pushed opacity: only alpha scales.
layout(binding = 0) uniform sampler2D tex_image;

layout(push_constant) uniform P {
    float v_opacity;
};

layout(location = 0) in vec2 v_texcoord;
layout(location = 0) out vec4 out_color;

void main() {
    vec4 c = texture(tex_image, v_texcoord);
    out_color = vec4(c.rgb, c.a * v_opacity);
}
