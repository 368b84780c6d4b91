// 20-pixel checkerboard anchored to the framebuffer, not to the picture: cells of 10
// framebuffer pixels; a coordinate exactly on a cell edge counts as the first colour.
vec4 checkerboard(vec2 frag_coord, vec4 first, vec4 second) {
    vec2 q = mod(frag_coord, 20.0);
    bool x_above = q.x > 10.0;
    bool y_above = q.y > 10.0;
    bool x_below = q.x < 10.0;
    bool y_below = q.y < 10.0;
    if ((x_above && y_below) || (x_below && y_above))
        return second;
    return first;
}
