# shaders
