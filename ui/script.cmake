# script host
