// What the two video fragment functions share: the specialisation constants that
// turn them into the video pipelines, the opacity push constant, the sampling and
// the colour conversions.
layout(constant_id = 0) const uint k_codec = 0;            // 0 RGBA/DXT, 1 HAP Q, 2 HAP Q Alpha, 3 alpha only
layout(constant_id = 1) const uint k_channel = 0;          // 0 RGBA, 1 RGB opaque, 2 alpha as grey
layout(constant_id = 2) const uint k_alpha_mode = 0;       // 1 straight blending, else premultiplied
layout(constant_id = 3) const uint k_scaling_quality = 1;  // 1 bilinear, 2 bicubic

layout(push_constant) uniform P {
    float v_opacity;
};

layout(location = 0) in vec2 v_texcoord;
layout(location = 0) out vec4 out_color;

#include "texture_bicubic.glsl"

vec4 sample_video(sampler2D tex, vec2 uv) {
    if (k_scaling_quality == 2u)
        return textureBicubic(tex, uv);
    return texture(tex, uv);
}

// Scaled YCoCg in a DXT5 texture: Co in r, Cg in g, the scale in b, Y in a.
vec3 ycocg_to_rgb(vec4 c) {
    float scale = c.b * 31.875 + 1.0;
    float co = (c.r - 128.0 / 255.0) / scale;
    float cg = (c.g - 128.0 / 255.0) / scale;
    float y = c.a;
    return vec3(y + co - cg, y + cg, y - co - cg);
}

vec4 apply_opacity(vec4 c) {
    if (k_alpha_mode == 1u)
        return vec4(c.rgb, c.a * v_opacity);
    return c * v_opacity;
}
