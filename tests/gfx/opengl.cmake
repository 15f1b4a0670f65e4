# opengl
