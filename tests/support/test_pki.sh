# Test certificates made with openssl at test time: sourced, not run.
# Both are valid for two days and written as DIR/NAME.pem and DIR/NAME.key.

# pki_authority DIR NAME: a self-signed certificate authority.
pki_authority() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Ostrabel test $2" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
    -keyout "$1/$2.key" -out "$1/$2.pem" 2>/dev/null
}

# pki_server_cert DIR NAME AUTHORITY DNS-NAME...: a server certificate for
# the names, signed by DIR/AUTHORITY.
pki_server_cert() {
  local dir=$1 name=$2 ca=$3; shift 3
  local sans; sans=$(printf 'DNS:%s,' "$@"); sans=${sans%,}
  openssl req -newkey rsa:2048 -nodes -subj "/CN=$1" -keyout "$dir/$name.key" \
    -out "$dir/$name.csr" 2>/dev/null &&
  printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$sans" \
    > "$dir/$name.ext" &&
  openssl x509 -req -in "$dir/$name.csr" -CA "$dir/$ca.pem" -CAkey "$dir/$ca.key" \
    -CAcreateserial -days 2 -extfile "$dir/$name.ext" -out "$dir/$name.pem" 2>/dev/null
}
