# panel
