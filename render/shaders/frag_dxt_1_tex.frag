#version 450
// One texture per tile: DXT1/DXT5/BC7/RGBA (decoded by the sampler), HAP Q's scaled
// YCoCg, or a single alpha channel.
layout(binding = 0) uniform sampler2D tex0;

#include "video_common.glsl"

void main() {
    vec4 s = sample_video(tex0, v_texcoord);
    vec4 c;
    if (k_codec == 1u)
        c = vec4(ycocg_to_rgb(s), 1.0);
    else if (k_codec == 3u)
        c = vec4(s.r, s.r, s.r, 1.0);
    else
        c = s;

    if (k_channel == 1u)
        c.a = 1.0;
    else if (k_channel == 2u)
        c = vec4(c.a, c.a, c.a, 1.0);

    out_color = apply_opacity(c);
}
