#version 450
// Meter quads: the geometry is built once per window size and moved per column by
// the pushed offset (normalised device units, y up).
layout(location = 0) in vec3 position;

layout(push_constant) uniform P {
    vec2 offset;
};

void main() {
    vec4 p = vec4(position.xy + offset, position.z, 1.0);
    gl_Position = vec4(p.x, -p.y, p.z * 0.5, p.w + p.z * 0.5);
}
