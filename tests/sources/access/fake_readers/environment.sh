#!/bin/sh
# A database reader that writes the environment it was given beside the database, then fails.
env > "$2.environment"
exit 1
