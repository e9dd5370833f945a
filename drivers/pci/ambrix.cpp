// The PCI board driver.
