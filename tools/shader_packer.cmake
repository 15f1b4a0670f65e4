# shader packer
