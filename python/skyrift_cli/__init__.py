"""Command-line tool, observation simulator and plots for skyrift_mp."""
