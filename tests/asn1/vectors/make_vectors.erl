%% Encodes the test values with Erlang's codec (aligned PER or BER, as the
%% module was compiled) and prints one
%% "name hex" line per value, in the order below.
-module(make_vectors).
-export([main/0]).

octets(N) -> list_to_binary([I rem 256 || I <- lists:seq(0, N - 1)]).
letters(N) -> [$a + (I rem 26) || I <- lists:seq(0, N - 1)].
entry(I) ->
    {'Entry', "port-" ++ integer_to_list(I), lists:nth(I rem 3 + 1, [red, green, blue]),
     I * 100, -I * 7, [I, I + 1, 255], if I rem 2 == 0 -> <<I, 1, 2>>; true -> asn1_NOVALUE end}.

values() ->
    [{bool_true, 'Bool', true},
     {bool_false, 'Bool', false},
     {int_0, 'Int', 0}, {int_127, 'Int', 127}, {int_128, 'Int', 128},
     {int_m1, 'Int', -1}, {int_m128, 'Int', -128}, {int_m129, 'Int', -129},
     {int_65536, 'Int', 65536}, {int_max, 'Int', 2147483647}, {int_min, 'Int', -2147483648},
     {range1_1, 'IntRange1', 1},
     {range7_5, 'IntRange7', 5},
     {range255_200, 'IntRange255', 200},
     {range256_256, 'IntRange256', 256},
     {range1023_1023, 'IntRange1023', 1023},
     {range65535_65535, 'IntRange65535', 65535},
     {range65536_0, 'IntRange65536', 0},
     {range65536_65536, 'IntRange65536', 65536},
     {rangemax_0, 'IntRangeMax', 0},
     {rangemax_255, 'IntRangeMax', 255},
     {rangemax_256, 'IntRangeMax', 256},
     {rangemax_16777216, 'IntRangeMax', 16777216},
     {rangemax_max, 'IntRangeMax', 4294967295},
     {signed_m1, 'IntSigned', -1},
     {signed_m128, 'IntSigned', -128},
     {offset_112000, 'IntOffset', 112000},
     {offset_399975, 'IntOffset', 399975},
     {from1_3, 'IntFrom1', 3},
     {ext_in_root, 'IntExt', 3},
     {ext_outside, 'IntExt', 100},
     {color_blue, 'Color', blue},
     {colorext_green, 'ColorExt', green},
     {octets_0, 'Octets', <<>>},
     {octets_1, 'Octets', <<16#AB>>},
     {octets_2, 'Octets', <<1, 2>>},
     {octets_3, 'Octets', <<1, 2, 3>>},
     {octets_127, 'Octets', octets(127)},
     {octets_128, 'Octets', octets(128)},
     {octets_200, 'Octets', octets(200)},
     {octets_16383, 'Octets', octets(16383)},
     {text_empty, 'Text', ""},
     {text_hello, 'Text', "hello"},
     {text_16383, 'Text', letters(16383)},
     {shorttext_abc, 'ShortText', "abc"},
     {digits, 'Digits', "12 345"},
     {printable, 'Printable', "Ab1 ?"},
     {visible, 'Visible', "x~y"},
     {bits_10, 'Bits', <<2#1000000001:10>>},
     {bits_17, 'Bits', <<16#ABCD:16, 1:1>>},
     {oid, 'Oid', {1, 2, 840}},
     {time, 'Time', "20240102030405Z"},
     {bmp, 'Bmp', [{0, 0, 4, 16}, {0, 0, 4, 17}]},
     {ints_empty, 'Ints', []},
     {ints_3, 'Ints', [1, -1, 300]},
     {ints_128, 'Ints', lists:seq(1, 128)},
     {colors_2, 'Colors', [green, blue]},
     {empty, 'Empty', {'Empty'}},
     {worked, 'Worked', {'Worked', asn1_NOVALUE, asn1_NOVALUE, {a3, {'Empty'}}}},
     {worked_ext, 'Worked', {'Worked', 5, true, {a14, 'NULL'}}},
     {single, 'Single', {only, 6}},
     {ext_roots_only, 'Ext', {'Ext', 7, asn1_NOVALUE, asn1_NOVALUE, asn1_NOVALUE}},
     {ext_note, 'Ext', {'Ext', 7, "hi", asn1_NOVALUE, asn1_NOVALUE}},
     {ext_both, 'Ext', {'Ext', 7, asn1_NOVALUE, true, 'NULL'}},
     {ext_last, 'Ext', {'Ext', 7, asn1_NOVALUE, asn1_NOVALUE, 'NULL'}},
     {choiceext_num, 'ChoiceExt', {num, -5}},
     {choiceext_flag, 'ChoiceExt', {flag, true}},
     {choiceext_none, 'ChoiceExt', {none, 'NULL'}},
     {msg_query, 'Message', {'Message', asn1_NOVALUE, asn1_NOVALUE, {command, {query, 'NULL'}}}},
     {msg_ping, 'Message', {'Message', asn1_NOVALUE, asn1_NOVALUE, {command, {ping, 'NULL'}}}},
     {msg_ping_seq, 'Message', {'Message', 1, asn1_NOVALUE, {command, {ping, 'NULL'}}}},
     {msg_success, 'Message', {'Message', 1, 5, {response, {success, 'NULL'}}}},
     {msg_error, 'Message', {'Message', 7, 5, {response, {error, unexpectedMsgType}}}},
     {msg_create, 'Message',
      {'Message', 7, 33, {command, {create, {trunk, {'Trunk', 1, 1}}}}}},
     {msg_userdata, 'Message', {'Message', 7, 33, {command, {userData, <<1, 2, 255>>}}}},
     {report, 'Report', {'Report', 3000000000, [entry(I) || I <- lists:seq(1, 20)]}},
     {tagged_inner, 'Tagged', {'Tagged', {inner, {x, 7}}, 9}},
     {tagged_z, 'Tagged', {'Tagged', {z, true}, 9}}].

main() ->
    lists:foreach(
      fun({Name, Type, Value}) ->
              {ok, Bytes} = 'TestTypes':encode(Type, Value),
              Hex = [io_lib:format("~2.16.0B", [B]) || <<B>> <= iolist_to_binary(Bytes)],
              io:format("~s ~s~n", [Name, Hex])
      end, values()),
    halt().
