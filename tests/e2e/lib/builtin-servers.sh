# Sourced by the end-to-end scripts: writes the seven built-in server names, in their order, as
# the executables have them, one per line, to a temporary file whose path it prints.
builtin_servers_file() {
  local file
  file=$(mktemp)
  sed -n '/kBuiltInServers\[\] = {/,/};/p' src/timesync/RuVir.h | grep -o '"[^"]*"' | tr -d '"' > "$file"
  if [ "$(wc -l < "$file")" != 7 ]; then
    echo "could not read the seven built-in server names" >&2
    rm -f "$file"
    return 1
  fi
  echo "$file"
}
