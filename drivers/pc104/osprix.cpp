// The PC104 board driver.
