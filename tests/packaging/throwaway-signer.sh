# A signer for the tests: a throwaway CA and a code-signing certificate made
# with openssl, and osslsigncode to sign with them. Sourced by the packaging
# checks; needs the layout that tools/check-signed --layout prints.

# Makes, in folder $1, a CA (ca.pem) and a code-signing certificate under it
# (signer.pem, signer.key), and a second CA that signed nothing (other-ca.pem).
make_signer() {
  local keys=$1
  mkdir -p "$keys"
  cat >"$keys/openssl.cnf" <<'CNF'
[req]
distinguished_name = name
[name]
[ca]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
  local ca
  for ca in ca other-ca; do
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Huecast test $ca" \
      -config "$keys/openssl.cnf" -extensions ca -keyout "$keys/$ca.key" -out "$keys/$ca.pem" 2>/dev/null
  done
  openssl req -newkey rsa:2048 -nodes -subj "/CN=Huecast test signer" -config "$keys/openssl.cnf" \
    -keyout "$keys/signer.key" -out "$keys/signer.csr" 2>/dev/null
  openssl x509 -req -days 30 -in "$keys/signer.csr" -CA "$keys/ca.pem" -CAkey "$keys/ca.key" \
    -set_serial 1 -extfile "$keys/openssl.cnf" -extensions signer -out "$keys/signer.pem" 2>/dev/null
}

# Signs one file $2 into $3 with the signer in folder $1.
sign_file() {
  mkdir -p "$(dirname "$3")"
  rm -f "$3"
  osslsigncode sign -certs "$1/signer.pem" -key "$1/signer.key" -h sha256 -n Huecast \
    -in "$2" -out "$3" >/dev/null
}

# Signs every file of the layout in folder $2 into folder $3.
sign_layout() {
  local keys=$1 unsigned=$2 signed=$3 name
  rm -rf "$signed"
  for name in $("$source_dir/tools/check-signed" --layout); do
    sign_file "$keys" "$unsigned/$name" "$signed/$name"
  done
}
