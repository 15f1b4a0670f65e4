# panel tests
