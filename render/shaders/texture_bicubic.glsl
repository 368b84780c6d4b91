// Cubic B-spline filtering from four bilinear fetches: the hardware's linear filter
// does the per-axis pair weighting, so each fetch lands between two texels at the
// position that gives their combined weight.

// The four B-spline weights of the texels at -1, 0, +1 and +2 around a sample whose
// fractional position is v.
vec4 cubic(float v) {
    vec4 n = vec4(1.0, 2.0, 3.0, 4.0) - v;
    vec4 s = n * n * n;
    float x = s.x;
    float y = s.y - 4.0 * s.x;
    float z = s.z - 4.0 * s.y + 6.0 * s.x;
    float w = 6.0 - x - y - z;
    return vec4(x, y, z, w) * (1.0 / 6.0);
}

vec4 textureBicubic(sampler2D tex, vec2 uv) {
    vec2 size = vec2(textureSize(tex, 0));
    vec2 t = uv * size - 0.5;
    vec2 f = fract(t);
    t -= f;

    vec4 wx = cubic(f.x);
    vec4 wy = cubic(f.y);

    vec4 c = vec4(t.x - 0.5, t.x + 1.5, t.y - 0.5, t.y + 1.5);
    vec4 m = vec4(wx.x + wx.y, wx.z + wx.w, wy.x + wy.y, wy.z + wy.w);
    vec4 o = (c + vec4(wx.y, wx.w, wy.y, wy.w) / m) / size.xxyy;

    vec4 s0 = texture(tex, o.xz);
    vec4 s1 = texture(tex, o.yz);
    vec4 s2 = texture(tex, o.xw);
    vec4 s3 = texture(tex, o.yw);

    float sx = m.x / (m.x + m.y);
    float sy = m.z / (m.z + m.w);
    return mix(mix(s3, s2, sx), mix(s1, s0, sx), sy);
}
