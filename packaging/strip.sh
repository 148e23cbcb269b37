#!/bin/sh
# The strip CPack runs on the packaged programs: also drops the sections that
# serve no purpose in a package (.comment, .note), as Debian's dh_strip does.
exec strip --remove-section=.comment --remove-section=.note "$@"
