Stand-in for data.tag of the Zelvaran RQ47 PCI modem package, version 3.02 Build 60.
