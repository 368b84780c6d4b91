#version 450
// Overlay text images (straight alpha) shown over a darkened backdrop: the image is
// premultiplied over black at alpha 0.8, and the pipeline blends premultiplied.
layout(binding = 0) uniform sampler2D tex_image;

layout(location = 0) in vec2 v_texcoord;
layout(location = 0) out vec4 out_color;

void main() {
    vec4 c = texture(tex_image, v_texcoord);
    out_color = vec4(c.rgb * c.a, c.a) + (1.0 - c.a) * vec4(0.0, 0.0, 0.0, 0.8);
}
