"""The analyses the commands run through the extension module, and their outputs
(text tables, CSV, JSON, figures). Nothing here depends on the simulator."""
