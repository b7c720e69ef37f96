"""report: HTML pages of a batch's quality control (placeholder until written)."""
def add_parser(sub):
    return sub.add_parser("report")
def run(args):
    pass
