"""pytest loads this first and puts tests/ on sys.path, so that the suites in subfolders
(tests/cli) import shared_data and the text builders as the suites here do."""
