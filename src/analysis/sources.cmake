# Statistics and graph points.
