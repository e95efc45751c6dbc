# The tree's files and the #include lines of its sources, for
# scripts/check-layers and scripts/architecture-diagram. Sourced from the
# repository's root.

# The tree's files into the array `files`: git's list in a checkout, else
# every file outside the build folders.
tree_files() {
  files=()
  local f
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    while IFS= read -r -d '' f; do
      [[ -f $f ]] && files+=("$f")
    done < <(git ls-files -z)
  else
    while IFS= read -r -d '' f; do
      files+=("${f#./}")
    done < <(find . -path './.git' -prune -o -path './build*' -prune -o -type f -print0 | sort -z)
  fi
}

# The top-level folders of `files`, one line each.
top_folders() {
  local f
  for f in "${files[@]}"; do
    [[ $f == */* ]] && printf '%s\n' "${f%%/*}"
  done | sort -u
}

# "file:line:path" for every quoted include of a source file of `files` that
# names a file under a top-level folder of the tree ("version.h" and the like
# are generated, and left out).
include_lines() {
  local folders f
  folders=" $(top_folders | tr '\n' ' ') "
  for f in "${files[@]}"; do
    [[ $f =~ \.(h|hpp|c|cc|cpp)$ ]] && printf '%s\0' "$f"
  done | xargs -0 -r grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+"' |
    sed -E 's/^([^:]+):([0-9]+):.*"([^"]+)".*/\1:\2:\3/' |
    awk -F: -v folders="$folders" '{
      if ($3 !~ /\//) next
      to = $3; sub(/\/.*/, "", to)
      if (index(folders, " " to " ") > 0) print
    }' || true
}
