# input
