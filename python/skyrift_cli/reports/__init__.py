"""HTML reports a person reads in a browser: one self-contained page each (CSS and
figures inline, no network access), rendered from the Jinja2 templates in templates/.

day_page: one station-day's quality control; network_page: a batch's stations and days.
The figures come from day_figures and network_figures (matplotlib, as inline SVG).
"""
