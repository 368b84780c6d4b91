#version 450
// HAP Q Alpha: the YCoCg colour texture at binding 0, its alpha texture at binding 1.
layout(binding = 0) uniform sampler2D tex0;
layout(binding = 1) uniform sampler2D tex1;

#include "video_common.glsl"

void main() {
    vec4 colour = sample_video(tex0, v_texcoord);
    vec4 alpha = sample_video(tex1, v_texcoord);
    out_color = apply_opacity(vec4(ycocg_to_rgb(colour), alpha.r));
}
