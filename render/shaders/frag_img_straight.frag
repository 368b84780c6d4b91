#version 450
layout(binding = 0) uniform sampler2D tex_image;

layout(location = 0) in vec2 v_texcoord;
layout(location = 0) out vec4 out_color;

void main() {
    out_color = texture(tex_image, v_texcoord);
}
