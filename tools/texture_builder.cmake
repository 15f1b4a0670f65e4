# texture builder
