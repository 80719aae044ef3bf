// The simulated driver lives here.
