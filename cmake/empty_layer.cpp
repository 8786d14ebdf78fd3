// Stands in for a layer folder that has no sources yet.
