"""The mutation run behind scripts/mutate: settings, reading C++ (cpp), the
rules (mutators), building and judging each mutant (runner), the report
(report), the mutator's own checks (self_check) and the command line (main)."""
