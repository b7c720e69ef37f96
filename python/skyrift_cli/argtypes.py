"""Argument types: turn option text into values, or tell argparse what is wrong."""
import argparse


def number(text: str) -> float:
    try:
        return float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None


def positive(text: str) -> float:
    value = number(text)
    if not value > 0:
        raise argparse.ArgumentTypeError(f"must be positive: {text!r}")
    return value
