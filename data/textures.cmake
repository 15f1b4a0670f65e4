# textures
