#version 450
// Textured quads: vertex space has y up and z in -1..1; the framebuffer has y down
// and depth in 0..1.
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 texcoord;

layout(location = 0) out vec2 v_texcoord;

const mat4 mat_vulk_to_gl = mat4(vec4(1.0, 0.0, 0.0, 0.0),
                                 vec4(0.0, -1.0, 0.0, 0.0),
                                 vec4(0.0, 0.0, 0.5, 0.0),
                                 vec4(0.0, 0.0, 0.5, 1.0));

void main() {
    v_texcoord = texcoord;
    gl_Position = mat_vulk_to_gl * vec4(position, 1.0);
}
