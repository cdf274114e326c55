#!/bin/sh
# A database reader that never answers.
exec sleep 60
