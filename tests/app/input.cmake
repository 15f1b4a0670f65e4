# input tests
