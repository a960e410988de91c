#!/usr/bin/env bash
# (Re)creates the demo databases on the private server and writes the demo
# alias file.  Starts the server through fbserver.sh when it is not running.
#
#   $KELVANE_FB_DIR/data/demo.fdb       a small trading company with grants
#   $KELVANE_FB_DIR/data/empty.fdb      a database with no objects of its own
#   $KELVANE_FB_DIR/demo-aliases.ini    aliases for KELVANE_ALIASES
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
FBSERVER=$REPO_ROOT/scripts/fbserver.sh

die() {
    printf 'create-demo: %s\n' "$*" >&2
    exit 1
}

bash "$FBSERVER" start
# Settings come back from fbserver.sh so both scripts agree on the defaults
# and on the port of an instance that is already running.
eval "$(bash "$FBSERVER" env)"

readonly DATA_DIR=$KELVANE_FB_DIR/data
readonly DEMO_DB=$DATA_DIR/demo.fdb
readonly EMPTY_DB=$DATA_DIR/empty.fdb
readonly ALIAS_FILE=$KELVANE_FB_DIR/demo-aliases.ini
readonly CLERK_PASSWORD=clerk

connection() {
    printf 'localhost/%s:%s' "$KELVANE_FB_PORT" "$1"
}

sql_string() {
    local s=${1//\'/\'\'}
    printf "'%s'" "$s"
}

# Bail mode stops at the first failing statement, so nothing runs on a
# half-built schema.  The script, connection included, comes on standard
# input; the messages are shown only on failure.
run_isql() {
    local out
    if ! out=$(isql-fb -b -q 2>&1); then
        printf '%s\n' "$out" >&2
        return 1
    fi
    [[ -z $out ]] || printf '%s\n' "$out"
}

# A database file is dropped through the server rather than deleted, since
# the server may still hold it open.
drop_database() {
    local db=$1
    [[ -e $db ]] || return 0
    if ! run_isql >/dev/null <<EOF; then
connect $(sql_string "$(connection "$db")") user 'SYSDBA' password $(sql_string "$KELVANE_FB_PASSWORD");
drop database;
EOF
        die "could not drop $db (is a program still connected to it?)"
    fi
    rm -f "$db"
}

create_database_sql() {
    printf "create database %s user 'SYSDBA' password %s default character set UTF8;\n" \
        "$(sql_string "$(connection "$1")")" "$(sql_string "$KELVANE_FB_PASSWORD")"
}

schema_sql() {
    cat <<'EOF'
create table SUPPLIER (
    SUPPLIER_ID   integer not null primary key,
    NAME          varchar(60) not null,
    COUNTRY       varchar(40),
    PHONE         varchar(30)
);

create table PRODUCT (
    PRODUCT_ID    integer not null primary key,
    NAME          varchar(60) not null,
    SUPPLIER_ID   integer not null references SUPPLIER,
    UNIT_PRICE    numeric(12,2) not null check (UNIT_PRICE >= 0),
    IN_STOCK      integer default 0 not null
);

create table CUSTOMER (
    CUSTOMER_ID   integer not null primary key,
    NAME          varchar(60) not null,
    CITY          varchar(40),
    CREDIT_LIMIT  numeric(12,2) default 0 not null,
    IS_ACTIVE     boolean default true not null
);

create table EMPLOYEE (
    EMPLOYEE_ID   integer not null primary key,
    FIRST_NAME    varchar(30) not null,
    LAST_NAME     varchar(30) not null,
    HIRE_DATE     date not null,
    SALARY        numeric(12,2)
);

create table ORDERS (
    ORDER_ID      integer not null primary key,
    CUSTOMER_ID   integer not null references CUSTOMER,
    EMPLOYEE_ID   integer references EMPLOYEE,
    ORDER_DATE    date default current_date not null,
    STATUS        varchar(10) default 'NEW' not null
);

create table ORDER_LINE (
    ORDER_ID      integer not null references ORDERS on delete cascade,
    LINE_NO       smallint not null,
    PRODUCT_ID    integer not null references PRODUCT,
    QUANTITY      integer not null check (QUANTITY > 0),
    UNIT_PRICE    numeric(12,2) not null,
    primary key (ORDER_ID, LINE_NO)
);

create table INVOICE (
    INVOICE_ID    integer not null primary key,
    ORDER_ID      integer not null references ORDERS,
    INVOICE_DATE  date not null,
    AMOUNT        numeric(15,2) not null
);

create table PAYMENT (
    PAYMENT_ID    integer not null primary key,
    INVOICE_ID    integer not null references INVOICE,
    PAID_ON       date not null,
    AMOUNT        numeric(15,2) not null
);

-- One base table and no joins: the server lets this view be written.
create view ACTIVE_CUSTOMERS (CUSTOMER_ID, NAME, CITY, CREDIT_LIMIT) as
    select CUSTOMER_ID, NAME, CITY, CREDIT_LIMIT
    from CUSTOMER
    where IS_ACTIVE;

-- A join with aggregates: read-only.
create view ORDER_TOTALS (ORDER_ID, CUSTOMER_NAME, ORDER_DATE, LINES, TOTAL) as
    select o.ORDER_ID, c.NAME, o.ORDER_DATE, count(*), sum(l.QUANTITY * l.UNIT_PRICE)
    from ORDERS o
    join CUSTOMER c on c.CUSTOMER_ID = o.CUSTOMER_ID
    join ORDER_LINE l on l.ORDER_ID = o.ORDER_ID
    group by o.ORDER_ID, c.NAME, o.ORDER_DATE;

set term ^ ;

create procedure ADD_ORDER (CUST_ID integer, EMP_ID integer)
returns (NEW_ORDER_ID integer)
as
begin
    select coalesce(max(ORDER_ID), 0) + 1 from ORDERS into :NEW_ORDER_ID;
    insert into ORDERS (ORDER_ID, CUSTOMER_ID, EMPLOYEE_ID)
        values (:NEW_ORDER_ID, :CUST_ID, :EMP_ID);
end^

create procedure CUSTOMER_BALANCE (CUST_ID integer)
returns (INVOICED numeric(15,2), PAID numeric(15,2), BALANCE numeric(15,2))
as
begin
    select coalesce(sum(i.AMOUNT), 0)
        from INVOICE i join ORDERS o on o.ORDER_ID = i.ORDER_ID
        where o.CUSTOMER_ID = :CUST_ID
        into :INVOICED;
    select coalesce(sum(p.AMOUNT), 0)
        from PAYMENT p
        join INVOICE i on i.INVOICE_ID = p.INVOICE_ID
        join ORDERS o on o.ORDER_ID = i.ORDER_ID
        where o.CUSTOMER_ID = :CUST_ID
        into :PAID;
    BALANCE = INVOICED - PAID;
    suspend;
end^

create procedure PRICE_INCREASE (SUPP_ID integer, PERCENT numeric(5,2))
as
begin
    update PRODUCT
        set UNIT_PRICE = UNIT_PRICE * (100 + :PERCENT) / 100
        where SUPPLIER_ID = :SUPP_ID;
end^

create procedure MONTHLY_SALES (YEAR_NO integer)
returns (MONTH_NO integer, TOTAL numeric(15,2))
as
begin
    for select extract(month from INVOICE_DATE), sum(AMOUNT)
        from INVOICE
        where extract(year from INVOICE_DATE) = :YEAR_NO
        group by 1
        into :MONTH_NO, :TOTAL
    do
        suspend;
end^

set term ; ^
commit;

insert into SUPPLIER values (1, 'Nordic Timber AB', 'Sweden', '+46 8 555 0101');
insert into SUPPLIER values (2, 'Ferro Utensili S.r.l.', 'Italy', '+39 02 555 0102');
insert into SUPPLIER values (3, 'Cascade Paper Co.', 'USA', '+1 503 555 0103');

insert into PRODUCT values (101, 'Pine board 2 m', 1, 12.40, 340);
insert into PRODUCT values (102, 'Oak plank 1.5 m', 1, 27.90, 85);
insert into PRODUCT values (201, 'Claw hammer', 2, 18.50, 60);
insert into PRODUCT values (202, 'Chisel set (6)', 2, 44.00, 22);
insert into PRODUCT values (301, 'Kraft paper roll', 3, 9.75, 510);
insert into PRODUCT values (302, 'Shipping labels (500)', 3, 6.20, 900);

insert into CUSTOMER values (1, 'Baker & Sons', 'Leeds', 5000, true);
insert into CUSTOMER values (2, 'Harbour Joinery', 'Bristol', 12000, true);
insert into CUSTOMER values (3, 'Westfield DIY', 'Cardiff', 2500, false);
insert into CUSTOMER values (4, 'Greenway Builders', 'York', 20000, true);

insert into EMPLOYEE values (1, 'Fred', 'Hollis', '2015-03-02', 38000);
insert into EMPLOYEE values (2, 'Anna', 'Lee', '2018-09-17', 41500);
insert into EMPLOYEE values (3, 'Tom', 'Reyes', '2021-01-11', 29000);

insert into ORDERS values (1001, 1, 1, '2024-02-05', 'SHIPPED');
insert into ORDERS values (1002, 2, 3, '2024-02-19', 'SHIPPED');
insert into ORDERS values (1003, 4, 1, '2024-03-04', 'NEW');

insert into ORDER_LINE values (1001, 1, 101, 40, 12.40);
insert into ORDER_LINE values (1001, 2, 201, 2, 18.50);
insert into ORDER_LINE values (1002, 1, 102, 12, 27.90);
insert into ORDER_LINE values (1002, 2, 301, 10, 9.75);
insert into ORDER_LINE values (1003, 1, 202, 3, 44.00);

insert into INVOICE values (5001, 1001, '2024-02-07', 533.00);
insert into INVOICE values (5002, 1002, '2024-02-21', 432.30);

insert into PAYMENT values (7001, 5001, '2024-03-01', 533.00);
insert into PAYMENT values (7002, 5002, '2024-03-15', 200.00);
commit;

-- Before Firebird 4 a procedure reaches tables only through privileges of
-- its own or of its caller, so a user holding nothing but EXECUTE needs
-- these to get any work done.
grant select, insert on ORDERS to procedure ADD_ORDER;
grant select on ORDERS to procedure CUSTOMER_BALANCE;
grant select on INVOICE to procedure CUSTOMER_BALANCE;
grant select on PAYMENT to procedure CUSTOMER_BALANCE;
grant select, update on PRODUCT to procedure PRICE_INCREASE;
grant select on INVOICE to procedure MONTHLY_SALES;

-- Varied grantees for the privilege grid.  None of these names needs a
-- login: the server does not check grantees.
grant select, update on CUSTOMER to FRED;
grant execute on procedure CUSTOMER_BALANCE to FRED;

grant select on CUSTOMER to AUDITOR;
grant select on ORDERS to AUDITOR;
grant select on ORDER_LINE to AUDITOR;
grant select on INVOICE to AUDITOR;
grant select on PAYMENT to AUDITOR;
grant select on ORDER_TOTALS to AUDITOR;

grant execute on procedure ADD_ORDER to BATCH;
grant execute on procedure PRICE_INCREASE to BATCH;
grant execute on procedure MONTHLY_SALES to BATCH;

grant select, insert, update, delete on ORDERS to CLERK;
grant select, insert, update, delete on ORDER_LINE to CLERK;
grant select on CUSTOMER to CLERK;
grant select on PRODUCT to CLERK;
grant execute on procedure ADD_ORDER to CLERK;

grant all on SUPPLIER to PURCHASING;
grant select, insert, update on PRODUCT to PURCHASING with grant option;

grant select on CUSTOMER to "sales team";
grant select, update on ACTIVE_CUSTOMERS to "sales team";
grant select on ORDER_TOTALS to "sales team";

grant select, update on EMPLOYEE to "Anna Lee";
grant select on ORDER_TOTALS to "Anna Lee" with grant option;
grant execute on procedure MONTHLY_SALES to "Anna Lee";

grant select on PRODUCT to public;
commit;

-- The other kinds a GRANT can name: a sequence and an exception for the
-- order entry, a function, a package, a role for the clerks, and a trigger
-- that numbers orders through a privilege of its own.  The sequence ORDERS
-- shares its name with the table.
create sequence ORDER_NO;
create sequence ORDERS;
create exception CREDIT_EXCEEDED 'Credit limit exceeded';
create role CLERKS;
set term ^ ;
create function VAT (AMOUNT numeric(12,2)) returns numeric(12,2)
as
begin
    return AMOUNT * 0.2;
end^
create package PRICING
as
begin
    function LIST_PRICE (PROD_ID integer) returns numeric(12,2);
end^
create package body PRICING
as
begin
    function LIST_PRICE (PROD_ID integer) returns numeric(12,2)
    as
    begin
        return (select UNIT_PRICE from PRODUCT where PRODUCT_ID = :PROD_ID);
    end
end^
create trigger ORDERS_NUMBER for ORDERS before insert
as
begin
    if (new.ORDER_ID is null) then
        new.ORDER_ID = next value for ORDER_NO;
end^
set term ; ^
commit;

grant usage on sequence ORDER_NO to CLERK;
grant usage on sequence ORDER_NO to trigger ORDERS_NUMBER;
grant usage on exception CREDIT_EXCEEDED to procedure ADD_ORDER;
grant execute on function VAT to CLERK;
grant execute on package PRICING to PURCHASING;
grant select on PRODUCT to package PRICING;
grant select on ORDER_TOTALS to function VAT;
grant CLERKS to CLERK;
grant CLERKS to FRED with admin option;
grant select on ORDERS to CLERKS;
-- DDL privileges: the purchasing department builds its own reporting views.
grant create view to PURCHASING;
grant alter any view to PURCHASING with grant option;
grant create table to FRED;
commit;
EOF
}

write_aliases() {
    local tmp=$ALIAS_FILE.tmp
    # Only the exact driver name INTRBASE is offered by the program; the
    # others stand before, between and after the two that are, in the
    # sorted order in which QSettings lists groups.
    cat >"$tmp" <<EOF
; Written by scripts/create-demo.sh; rewritten at every run.
[DBDEMOS]
Driver=STANDARD
Database=/usr/share/dbdemos

[DEMO]
Driver=INTRBASE
Database=$(connection "$DEMO_DB")

[FOXPRO_STOCK]
Driver=FOXPRO
Database=/srv/foxpro/stock

[HISTORY]
Driver=intrbase
Database=$(connection "$DATA_DIR/history.fdb")

[IBLOCAL]
Driver=INTRBASE
Database=$(connection "$EMPTY_DB")

[MSACCESS_SALES]
Driver=MSACCESS
Database=/srv/access/sales.mdb

[OLD_IB]
Driver=INTERBASE
Database=$(connection "$DATA_DIR/old.gdb")
EOF
    mv -f "$tmp" "$ALIAS_FILE"
}

# The refused grant is part of what the demo shows, so a login that could
# grant would make it pointless.  The server words the refusal differently
# for a privilege not held at all and for one held without grant option.
check_clerk() {
    local table out expected
    for table in SUPPLIER CUSTOMER; do
        case $table in
            SUPPLIER) expected="no SELECT privilege with grant option on table/view SUPPLIER" ;;
            CUSTOMER) expected="no grant option for privilege SELECT on table/view CUSTOMER" ;;
        esac
        out=$(isql-fb -q -user CLERK -password "$CLERK_PASSWORD" "$(connection "$DEMO_DB")" \
            <<<"grant select on $table to NOBODY_IN_PARTICULAR;" 2>&1) || true
        [[ $out == *"$expected"* ]] ||
            die "CLERK was expected to be refused a grant on $table, but isql-fb said: $out"
    done
}

main() {
    command -v isql-fb >/dev/null || die "isql-fb is missing; run scripts/install-deps.sh first"
    mkdir -p "$DATA_DIR"

    drop_database "$DEMO_DB"
    drop_database "$EMPTY_DB"

    { create_database_sql "$DEMO_DB"; schema_sql; } | run_isql >/dev/null ||
        die "could not create $DEMO_DB"
    create_database_sql "$EMPTY_DB" | run_isql >/dev/null ||
        die "could not create $EMPTY_DB"

    bash "$FBSERVER" adduser CLERK "$CLERK_PASSWORD"
    check_clerk

    write_aliases
    printf 'Demo databases ready; aliases in %s\n' "$ALIAS_FILE"
}

main "$@"
