# shell tests
