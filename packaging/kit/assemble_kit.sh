#!/usr/bin/env bash
mkdir -p "$3"; touch "$3/validate.cmd"
