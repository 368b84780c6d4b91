#version 450
// Flat-coloured quads: the same vertex record as the textured ones, u and v unread.
layout(location = 0) in vec3 position;

const mat4 mat_vulk_to_gl = mat4(vec4(1.0, 0.0, 0.0, 0.0),
                                 vec4(0.0, -1.0, 0.0, 0.0),
                                 vec4(0.0, 0.0, 0.5, 0.0),
                                 vec4(0.0, 0.0, 0.5, 1.0));

void main() {
    gl_Position = mat_vulk_to_gl * vec4(position, 1.0);
}
