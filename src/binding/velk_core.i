%module(package="nimbrel") velk_core
