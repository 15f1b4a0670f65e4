# meshes
