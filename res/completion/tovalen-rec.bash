# bash completion for tovalen-rec. The commands, their options and the options' fixed values are
# read from the program's own --help, so they follow the installed version.

_tovalen_rec_files() {
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <(compgen -f -- "$1")
}

# source add|list|remove, and the names of the streams to remove, as source list prints them
# ("INDEX, NAME, URL": a URL holds no space).
_tovalen_rec_source() {
  local action=${COMP_WORDS[i + 1]}
  if ((COMP_CWORD == i + 1)); then
    mapfile -t COMPREPLY < <(compgen -W "add list remove" -- "$1")
  elif [[ $action == remove ]] && ((COMP_CWORD == i + 2)); then
    local line name
    while IFS= read -r line; do
      name=${line#*, }
      name=${name%, *}
      [[ $name == "$1"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
    done < <("${COMP_WORDS[0]}" source list 2>/dev/null | sed 's/ (no device index left)$//')
  fi
}

_tovalen_rec() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local help
  help=$("${COMP_WORDS[0]}" --help 2>/dev/null) || return 0
  local -a synopses
  mapfile -t synopses < <(sed -n 's/^  tovalen-rec //p' <<<"$help")

  # --trace comes before the command and is not one.
  local i command=
  for ((i = 1; i < COMP_CWORD; i++)); do
    if [[ ${COMP_WORDS[i]} != --trace ]]; then
      command=${COMP_WORDS[i]}
      break
    fi
  done
  if [[ -z $command ]]; then
    mapfile -t COMPREPLY < <(compgen -W "--trace --help --version ${synopses[*]%% *}" -- "$cur")
    return 0
  fi

  local synopsis= s
  for s in "${synopses[@]}"; do
    [[ ${s%% *} == "$command" ]] && synopsis=$s
  done
  [[ -n $synopsis ]] || return 0
  if [[ $command == source ]]; then
    _tovalen_rec_source "$cur"
    return 0
  fi

  # The value an option takes, as its synopsis names it: "--repeat daily|weekly|weekdays".
  if [[ $prev == --* ]]; then
    local value
    value=$(grep -o -e "$prev [^] ]*" <<<"$synopsis" | head -n 1)
    value=${value#* }
    case $value in
      *'|'*)
        mapfile -t COMPREPLY < <(compgen -W "${value//|/ }" -- "$cur")
        return 0
        ;;
      PATH | FILE | DIR | PEM) ;;
      ?*) return 0 ;;  # a time, a length, a number or a title: nothing to offer
    esac
  fi
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$(grep -o -e '--[a-z-]*' <<<"$synopsis" | sort -u)" -- "$cur")
    return 0
  fi
  _tovalen_rec_files "$cur"
}

complete -F _tovalen_rec tovalen-rec
