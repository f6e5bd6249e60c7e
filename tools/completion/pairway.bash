# Bash completion for pairwayctl, pairway-sc and pairway-netsetup: their verbs and options, and
# the card numbers, group names and service names of the machine root that the command line
# names (--root DIR) or PAIRWAY_ROOT names, read from that root's registry with pairway-reg.
# Installed as bash-completion's completions/pairwayctl, with pairway-sc and pairway-netsetup
# linked to it.

# The registry tool beside the program being completed (a build's bin/ or /usr/bin).
_pairway_reg() {
  local program=${COMP_WORDS[0]}
  if [[ $program == */* ]]; then
    printf '%s\n' "${program%/*}/pairway-reg"
  else
    printf '%s\n' pairway-reg
  fi
}

# The machine root of the command line being completed; nothing when it names none.
_pairway_root() {
  local i
  for ((i = 1; i < COMP_CWORD; i++)); do
    if [[ ${COMP_WORDS[i]} == --root ]]; then
      printf '%s\n' "${COMP_WORDS[i + 1]}"
      return
    fi
  done
  printf '%s\n' "${PAIRWAY_ROOT:-}"
}

# The names of the subkeys of HKLM\$1 (query /s: every key below, with its values, when $2 is /s).
_pairway_query() {
  local root
  root=$(_pairway_root)
  [[ -n $root && -f $root/registry.db ]] || return 0
  PAIRWAY_ROOT=$root "$(_pairway_reg)" query "HKLM\\$1" "${@:2}" 2>/dev/null
}

_pairway_subkeys() {
  local key="HKEY_LOCAL_MACHINE\\$1" line
  while IFS= read -r line; do
    line=${line%$'\r'}
    [[ $line == "$key\\"* ]] || continue
    line=${line#"$key\\"}
    [[ $line == *\\* ]] || printf '%s\n' "$line"
  done < <(_pairway_query "$1")
}

_pairway_cards() {
  _pairway_subkeys 'SOFTWARE\Microsoft\Windows NT\CurrentVersion\NetworkCards'
}

_pairway_services() {
  _pairway_subkeys 'SYSTEM\CurrentControlSet\Services'
}

_pairway_groups() {
  local name type value
  while read -r name type value; do
    [[ $name == GroupName && $type == REG_SZ ]] && printf '%s\n' "$value"
  done < <(_pairway_query 'SYSTEM\CurrentControlSet\Services' /s) | sort -u
}

# COMPREPLY from the words given, for the word being completed.
_pairway_offer() {
  local IFS=$'\n'
  COMPREPLY=($(compgen -W "$*" -- "${COMP_WORDS[COMP_CWORD]}"))
}

# The words of the command line after the global options, up to the word being completed.
_pairway_args() {
  local i
  args=()
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      --root) ((i++)) ;;
      -*) ((${#args[@]})) && args+=("${COMP_WORDS[i]}") ;;
      *) args+=("${COMP_WORDS[i]}") ;;
    esac
  done
}

_pairwayctl() {
  local current=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD - 1]} args
  COMPREPLY=()
  if [[ $previous == --root ]]; then
    COMPREPLY=($(compgen -d -- "$current"))
    return
  fi
  _pairway_args
  if [[ $current == -* ]]; then
    case ${args[0]:-}/${args[1]:-} in
      show/*) _pairway_offer --json --help ;;
      watch/*) _pairway_offer --count --help ;;
      group/create) _pairway_offer --timeout --json --yes --dry-run --help ;;
      */*) _pairway_offer --root --dry-run --yes --json --help ;;
    esac
    return
  fi
  case ${#args[@]} in
    0) _pairway_offer show watch port group ;;
    1)
      case ${args[0]} in
        port) _pairway_offer type ;;
        group) _pairway_offer create add remove rename timeout ;;
      esac
      ;;
    *)
      case ${args[0]}/${args[1]} in
        port/type) _pairway_offer $(_pairway_cards) auto 10half 10full 100half 100full thin ;;
        group/create)
          if [[ ${#args[@]} -eq 2 ]]; then _pairway_offer - ; else _pairway_offer $(_pairway_cards); fi
          ;;
        group/add)
          if [[ ${#args[@]} -eq 2 ]]; then _pairway_offer "$(_pairway_groups)"; else _pairway_offer $(_pairway_cards); fi
          ;;
        group/remove) _pairway_offer $(_pairway_cards) ;;
        group/rename | group/timeout)
          [[ ${#args[@]} -eq 2 ]] && _pairway_offer "$(_pairway_groups)"
          ;;
      esac
      ;;
  esac
}

_pairway_netsetup() {
  local current=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD - 1]} args
  COMPREPLY=()
  case $previous in
    --root) COMPREPLY=($(compgen -d -- "$current")); return ;;
    --interface) _pairway_offer $(ls /sys/class/net 2>/dev/null); return ;;
    --slot | --bus | --title) return ;;
  esac
  _pairway_args
  case ${args[0]:-} in
    "")
      if [[ $current == -* ]]; then _pairway_offer --root --help; else
        _pairway_offer init add-card remove-card set-ip call nic
      fi
      ;;
    init) _pairway_offer --snmp --help ;;
    add-card) _pairway_offer --slot --bus --title --interface --help ;;
    remove-card | set-ip) [[ ${#args[@]} -eq 1 ]] && _pairway_offer $(_pairway_cards) ;;
    nic)
      case ${#args[@]} in
        1) _pairway_offer $(_pairway_cards) ;;
        2) _pairway_offer show set ;;
        *)
          if [[ ${args[2]} == set ]]; then
            local root fields
            root=$(_pairway_root)
            fields=$(PAIRWAY_ROOT=$root "${COMP_WORDS[0]}" nic "${args[1]}" show 2>/dev/null |
              sed -n 's/^\([^=]*\)=.*/\1=/p')
            _pairway_offer $fields
            compopt -o nospace 2>/dev/null
          fi
          ;;
      esac
      ;;
    call)
      if [[ ${#args[@]} -eq 1 ]]; then
        local root
        root=$(_pairway_root)
        _pairway_offer $(ls "$root/drive_c/WINNT/System32" 2>/dev/null | grep -i '\.dll$')
      elif [[ ${#args[@]} -eq 2 ]]; then
        case ${args[1],,} in
          aggcfg.dll) _pairway_offer TrevanConfig TrevanGetConnType TrevanRemoveLinks ;;
          ctrsetup.dll) _pairway_offer InstallTrevanPerformance RemoveTrevanPerformance ;;
        esac
      else
        _pairway_offer $(_pairway_cards)
      fi
      ;;
  esac
}

_pairway_sc() {
  local current=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD - 1]} args
  COMPREPLY=()
  # "start= auto": readline splits "start=" into "start" and "=" where '=' breaks words.
  [[ $previous == = ]] && previous=${COMP_WORDS[COMP_CWORD - 2]}=
  _pairway_args
  case $previous in
    start=) _pairway_offer auto demand disabled; return ;;
    error=) _pairway_offer ignore normal severe critical; return ;;
    type=)
      if [[ ${args[0],,} == query || ${args[0],,} == queryex ]]; then
        _pairway_offer service driver all
      else
        _pairway_offer own
      fi
      return
      ;;
    state=) _pairway_offer active inactive all; return ;;
    obj=) _pairway_offer LocalSystem; return ;;
    binPath= | DisplayName=) return ;;
  esac
  case ${#args[@]} in
    0)
      _pairway_offer create start stop pause continue interrogate control query queryex delete \
        shutdown --help
      ;;
    1)
      case ${args[0],,} in
        shutdown) ;;
        # Without a name, query and queryex list the services of a type and state.
        query | queryex) _pairway_offer type= state= $(_pairway_services) ;;
        *) _pairway_offer $(_pairway_services) ;;
      esac
      ;;
    *)
      case ${args[0],,} in
        create) _pairway_offer binPath= start= DisplayName= error= type= obj= ;;
        control) [[ ${#args[@]} -eq 2 ]] && _pairway_offer stop pause continue interrogate paramchange ;;
        query | queryex)
          [[ ${args[1]%=} == type || ${args[1]%=} == state ]] && _pairway_offer type= state=
          ;;
      esac
      ;;
  esac
}

complete -F _pairwayctl pairwayctl
complete -F _pairway_netsetup pairway-netsetup
complete -F _pairway_sc pairway-sc
