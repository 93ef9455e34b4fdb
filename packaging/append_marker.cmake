# Appends TEXT after the end of FILE, a module: the loader ignores bytes after
# the image, so the module works as before and its file is told apart by them.
#   -DFILE=<Holdfast.dll> -DTEXT=<marker>
file(APPEND ${FILE} "${TEXT}")
