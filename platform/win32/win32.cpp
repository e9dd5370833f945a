// implemented by the platform layer issue
