#!/bin/sh
# A database reader that crashes before it finishes.
printf T
kill -SEGV $$
