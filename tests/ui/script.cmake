# script tests
