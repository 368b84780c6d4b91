#version 450
// Meter bars: as basic_vert_offset, with the texture coordinate passed on (v runs
// from 0 at the top of the column to 1 at the bottom).
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 texcoord;

layout(location = 0) out vec2 v_texcoord;

layout(push_constant) uniform P {
    vec2 offset;
};

void main() {
    v_texcoord = texcoord;
    vec4 p = vec4(position.xy + offset, position.z, 1.0);
    gl_Position = vec4(p.x, -p.y, p.z * 0.5, p.w + p.z * 0.5);
}
