import x as __debug__
