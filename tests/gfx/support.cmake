# support
