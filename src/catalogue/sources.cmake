# IOCTL code decoding, the catalogue store and its recordsets.
