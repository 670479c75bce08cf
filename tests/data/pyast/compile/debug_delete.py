del __debug__
